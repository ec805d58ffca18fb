// The four MIME encoders and the quoted-printable tables, driven through the
// iterators as the converter encoders drive them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base64_reference.h"
#include "i18n.h"
#include "i18n/charset_iter.h"
#include "i18n/encoders.h"

namespace {

// Runs the iterator's chunks through the encoder, as a converter encoder does.
std::string drive(i18n::CharsetToCharsetIterPrototype &iter, i18n_mime::GenericEncoder &encoder,
                  const std::string &text, int32_t limit) {
    iter.set_in_str(text.data(), static_cast<int32_t>(text.size()));
    if (limit != -1) iter.set_chunk_limit(limit);
    i18n::StringBuffer<char> out(256);
    do {
        iter.next();
        encoder.encode(iter, out);
    } while (iter.has_more());
    encoder.complete(out);
    std::unique_ptr<char[]> result(out.get_str(nullptr));
    return result.get();
}

// Feeds `text` in chunks of at most `chunk` bytes (unconverted) to `encoder`.
std::string encode_passed_through(i18n_mime::GenericEncoder &encoder, const std::string &text, int32_t chunk = 256) {
    i18n::TrivialIter iter(256);
    return drive(iter, encoder, text, chunk);
}

// Feeds `text` converted from UTF-8 to UTF-8 in whole characters, as headers are.
std::string encode_header(i18n_mime::GenericEncoder &encoder, const std::string &text) {
    i18n::CharsetToCharsetChunkIter<i18n::FromUnicodeFullCharIter> iter("UTF-8", "UTF-8", 86, 256);
    return drive(iter, encoder, text, encoder.get_limit_byte_size());
}

struct Row {
    const char *label;
    std::string input;
    std::string expected;
};

TEST(QPBodyEncoder, Outputs) {
    const Row rows[] = {
        {"equals sign", "a=b", "a=3Db"},
        {"trailing blank", "a b ", "a b=20"},
        {"line breaks are encoded", "x\r\ny", "x=0D=0Ay"},
        {"tab always encoded", "a\tb", "a=09b"},
        {"trailing tab", "a\t", "a=09"},
        {"high bytes", "caf\xc3\xa9", "caf=C3=A9"},
        {"punctuation", "#$@[\\]^`{|}~", "=23=24=40=5B=5C=5D=5E=60=7B=7C=7D=7E"},
        {"kept as is", "_?!\"%&'()*+,-./:;<>", "_?!\"%&'()*+,-./:;<>"},
        {"empty", "", ""},
        {"only a blank", " ", "=20"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        i18n_mime::QPBodyEncoder encoder("UTF-8");
        EXPECT_EQ(encode_passed_through(encoder, row.input), row.expected);
    }
}

TEST(QPBodyEncoder, EightyLettersBreakAfterSeventyFive) {
    i18n_mime::QPBodyEncoder encoder("UTF-8");
    EXPECT_EQ(encode_passed_through(encoder, std::string(80, 'k')), std::string(75, 'k') + "=\r\n" + "kkkkk");
}

TEST(QPBodyEncoder, EscapesAreNeverSplitAndTrailingBlankCountsOnItsLine) {
    // 74 letters then an escape: the 3-byte piece does not fit after 74 of 75.
    i18n_mime::QPBodyEncoder encoder("UTF-8");
    EXPECT_EQ(encode_passed_through(encoder, std::string(74, 'k') + "="), std::string(74, 'k') + "=\r\n=3D");
    // A blank at the end of a full line: it stays counted, so its escape moves on.
    i18n_mime::QPBodyEncoder blank("UTF-8");
    EXPECT_EQ(encode_passed_through(blank, std::string(73, 'k') + " "), std::string(73, 'k') + "=\r\n=20");
}

TEST(QPBodyEncoder, ChunkBoundariesDoNotChangeTheOutput) {
    std::string text;
    for (int i = 0; i < 500; ++i) text += static_cast<char>(i % 7 ? 'a' + i % 26 : '=');
    i18n_mime::QPBodyEncoder whole("UTF-8");
    std::string expected = encode_passed_through(whole, text, 256);
    for (int32_t chunk : {1, 3, 75, 76, 77}) {
        SCOPED_TRACE(chunk);
        i18n_mime::QPBodyEncoder encoder("UTF-8");
        EXPECT_EQ(encode_passed_through(encoder, text, chunk), expected);
    }
}

TEST(B64BodyEncoder, Outputs) {
    const Row rows[] = {
        {"three", "abc", "YWJj"},
        {"two", "ab", "YWI="},
        {"one", "a", "YQ=="},
        {"empty", "", ""},
        {"high bytes", "\xff\xfe\xfd", "//79"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        i18n_mime::B64BodyEncoder encoder("UTF-8");
        EXPECT_EQ(encode_passed_through(encoder, row.input), row.expected);
    }
}

TEST(B64BodyEncoder, PaddingOnlyAtTheVeryEndWhateverTheChunks) {
    std::string text(100, 'z');
    i18n_mime::B64BodyEncoder whole("UTF-8");
    std::string expected = encode_passed_through(whole, text);
    EXPECT_EQ(expected.find('='), expected.size() - 2);
    for (int32_t chunk : {1, 2, 4, 5, 7}) {
        SCOPED_TRACE(chunk);
        i18n_mime::B64BodyEncoder encoder("UTF-8");
        EXPECT_EQ(encode_passed_through(encoder, text, chunk), expected);
    }
}

TEST(B64BodyEncoder, FiftySevenBytesMakeOneLine) {
    i18n_mime::B64BodyEncoder one("UTF-8");
    std::string line = encode_passed_through(one, std::string(57, 'm'));
    EXPECT_EQ(line.size(), 76u);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    i18n_mime::B64BodyEncoder two("UTF-8");
    std::string lines = encode_passed_through(two, std::string(60, 'm'));
    EXPECT_EQ(lines, line + "\r\nbW1t");
}

// Hands a text out in chunks of `size` bytes, each in an allocation of exactly
// its length, so that an encoder reading past a chunk reads past its memory
// (which AddressSanitizer reports).
class ExactChunks : public i18n::CharsetToCharsetIterPrototype {
public:
    explicit ExactChunks(size_t size) : m_size(size) {}
    void set_in_str(const char *text, int32_t length) override { m_text.assign(text, static_cast<size_t>(length)); }
    void next() override {
        size_t count = std::min(m_size, m_text.size() - m_pos);
        m_piece.reset(new char[count ? count : 1]);
        std::memcpy(m_piece.get(), m_text.data() + m_pos, count);
        m_pos += count;
        m_chunk = i18n::ChunkRef<char>{m_piece.get(), static_cast<int32_t>(count), nullptr};
    }
    bool has_more() const override { return m_pos < m_text.size(); }
    void set_chunk_limit(int32_t) override {}
    i18n::CharIter<char> char_iter() const override { return {}; }

private:
    size_t m_size;
    std::string m_text;
    size_t m_pos = 0;
    std::unique_ptr<char[]> m_piece;
};

TEST(B64BodyEncoder, EveryLengthAndEveryByteMatchTheReference) {
    std::string bytes = i18n_test::mixed_bytes(700);
    for (size_t length = 0; length <= bytes.size(); length += length < 120 ? 1 : 29) {
        std::string text = bytes.substr(bytes.size() - length);
        for (size_t chunk : {700, 256, 7}) {
            SCOPED_TRACE(testing::Message() << length << " bytes in chunks of " << chunk);
            ExactChunks iter(chunk);
            i18n_mime::B64BodyEncoder encoder("UTF-8");
            ASSERT_EQ(drive(iter, encoder, text, -1), i18n_test::reference_b64_body(text));
        }
    }
}

TEST(B64BodyEncoder, OutputBoundHoldsForEveryLength) {
    i18n_mime::B64BodyEncoder any("UTF-8");
    EXPECT_EQ(i18n_mime::QPBodyEncoder("UTF-8").get_output_bound(100), 0u);  // cannot tell
    for (size_t length = 0; length <= 2000; ++length) {
        SCOPED_TRACE(length);
        i18n_mime::B64BodyEncoder encoder("UTF-8");
        size_t size = encode_passed_through(encoder, std::string(length, 'b')).size();
        size_t bound = any.get_output_bound(length);
        ASSERT_GE(bound, size);
        ASSERT_LE(bound, size + 6);  // a line break and a group at most to spare
    }
}

TEST(QPHeaderEncoder, Outputs) {
    const Row rows[] = {
        {"underscore and question mark", "a_b?", "=?UTF-8?Q?a=5Fb=3F?="},
        {"spaces are =20", "a b", "=?UTF-8?Q?a=20b?="},
        {"accented", "caf\xc3\xa9", "=?UTF-8?Q?caf=C3=A9?="},
        {"empty opens no word", "", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        i18n_mime::QPHeaderEncoder encoder("UTF-8");
        EXPECT_EQ(encode_header(encoder, row.input), row.expected);
    }
}

TEST(QPHeaderEncoder, NeverSplitsACharacterBetweenWords) {
    // 20 letters then three-byte characters, each 9 bytes encoded.
    std::string text = std::string(20, 'w');
    for (int i = 0; i < 10; ++i) text += "\xe6\x97\xa5";
    i18n_mime::QPHeaderEncoder encoder("UTF-8");
    // 20 + 4 × 9 = 56 fits the first 63; the fifth would not.
    std::string first_word = "=?UTF-8?Q?" + std::string(20, 'w');
    for (int i = 0; i < 4; ++i) first_word += "=E6=97=A5";
    std::string second_word = "=?UTF-8?Q?";
    for (int i = 0; i < 6; ++i) second_word += "=E6=97=A5";
    EXPECT_EQ(encode_header(encoder, text), first_word + "?=\r\n\t" + second_word + "?=");
}

TEST(B64HeaderEncoder, OneWordPerChunk) {
    i18n_mime::B64HeaderEncoder encoder("UTF-8");
    EXPECT_EQ(encoder.get_limit_byte_size(), 45);
    EXPECT_EQ(encode_header(encoder, "abc"), "=?UTF-8?B?YWJj?=");
    // A full chunk hands its last character on, so the first word holds 44 bytes.
    i18n_mime::B64HeaderEncoder longer("UTF-8");
    std::string first;
    for (int i = 0; i < 14; ++i) first += "YWFh";
    EXPECT_EQ(encode_header(longer, std::string(50, 'a')), "=?UTF-8?B?" + first + "YWE=?=\r\n\t=?UTF-8?B?YWFhYWFh?=");
}

TEST(Encoders, TypesLimitsAndCopies) {
    i18n_mime::QPBodyEncoder qp_body("A");
    i18n_mime::QPHeaderEncoder qp_header("A");
    i18n_mime::B64BodyEncoder b64_body("A");
    i18n_mime::B64HeaderEncoder b64_header("UTF-8");
    EXPECT_EQ(qp_body.get_encoding_type(), I18N_MIME_QP);
    EXPECT_EQ(qp_header.get_encoding_type(), I18N_MIME_QP);
    EXPECT_EQ(b64_body.get_encoding_type(), I18N_MIME_B64);
    EXPECT_EQ(b64_header.get_encoding_type(), I18N_MIME_B64);
    EXPECT_EQ(qp_body.get_limit_byte_size(), -1);
    EXPECT_EQ(qp_header.get_limit_byte_size(), -1);
    EXPECT_EQ(b64_body.get_limit_byte_size(), -1);
    i18n_mime::QPHeaderEncoder header_copy(qp_header);
    EXPECT_STREQ(header_copy.get_charset(), "A");
    i18n_mime::B64HeaderEncoder assigned("X");
    assigned = b64_header;
    EXPECT_EQ(assigned.get_limit_byte_size(), 45);
}

TEST(EncodingStr, DisplayNames) {
    EXPECT_STREQ(i18n_mime::get_encoding_str(I18N_MIME_NONE), "None");
    EXPECT_STREQ(i18n_mime::get_encoding_str(I18N_MIME_QP), "Quoted Printable");
    EXPECT_STREQ(i18n_mime::get_encoding_str(I18N_MIME_B64), "Base64");
    for (int kind : {3, 7, -1}) {
        SCOPED_TRACE(kind);
        EXPECT_STREQ(i18n_mime::get_encoding_str(static_cast<i18n_mime_encoding_t>(kind)),
                     "\"Error: No such encoding\"");
    }
}

TEST(QPEncodingTables, BodyAndHeaderEntries) {
    i18n_mime::QPBodyEncodingTable body;
    i18n_mime::QPHeaderEncodingTable header;
    for (int c = 0; c < 256; ++c) {
        SCOPED_TRACE(c);
        bool control_or_high = c < 0x20 || c >= 0x7F;
        bool punctuation = std::string("=#$@[\\]^`{|}~").find(static_cast<char>(c)) != std::string::npos;
        bool header_only = c == ' ' || c == '_' || c == '?';
        EXPECT_EQ(body.should_encode(static_cast<unsigned char>(c)), control_or_high || punctuation);
        EXPECT_EQ(header.should_encode(static_cast<unsigned char>(c)), control_or_high || punctuation || header_only);
    }
    EXPECT_EQ(body.get_number_qp_encoded_bytes("a=b c\r\n"), 3u);
    EXPECT_EQ(body.get_byte_size_qp_encoded_str("a=b c\r\n"), 13u);
    EXPECT_EQ(header.get_number_qp_encoded_bytes("a=b c\r\n"), 4u);
    EXPECT_EQ(body.get_byte_size_qp_encoded_str(""), 0u);
    // Every table object of a kind shares the process-wide table.
    i18n_mime::QPBodyEncodingTable again;
    EXPECT_EQ(again.data(), body.data());
    i18n_mime::QPBodyEncodingTable copy(body);
    EXPECT_EQ(copy.data(), body.data());
}

TEST(QPEncodingTables, ATableOfItsOwnIsBuiltAndWidened) {
    unsigned char own[256];
    std::fill(std::begin(own), std::end(own), 0xCC);
    i18n_mime::QPEncodingTable table(own, false);
    EXPECT_FALSE(table.should_encode('a'));
    EXPECT_TRUE(table.should_encode('='));
    EXPECT_FALSE(table.should_encode(' '));
    table.set_encode_char('a');
    table.set_encode_chars("bc");
    EXPECT_TRUE(table.should_encode('a'));
    EXPECT_TRUE(table.should_encode('c'));
    EXPECT_EQ(own[0x7F], 1);
    EXPECT_EQ(own['z'], 0);
    // Attached as already built, it is left as it is.
    own['z'] = 1;
    i18n_mime::QPEncodingTable attached(own, true);
    EXPECT_TRUE(attached.should_encode('z'));
}

// The first use of the process-wide tables from several threads at once: each
// thread finds its table complete from the moment its constructor returns.
// Each try is a fresh process, whose tables are not built yet.
TEST(QPEncodingTables, FirstUseFromSeveralThreadsAtOnce) {
    constexpr int kThreads = 3;
    for (int attempt = 0; attempt < 300; ++attempt) {
        pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            std::atomic<int> ready{0};
            std::atomic<bool> torn{false};
            std::vector<std::thread> threads;
            for (int i = 0; i < kThreads; ++i)
                threads.emplace_back([&] {
                    ready.fetch_add(1);
                    while (ready.load() < kThreads) std::this_thread::yield();
                    i18n_mime::QPHeaderEncodingTable header;
                    i18n_mime::QPBodyEncodingTable body;
                    for (int c = 0; c < 256; ++c) {
                        bool marked = c < 0x20 || c >= 0x7F || std::strchr("=#$@[\\]^`{|}~", c);
                        if (body.should_encode(static_cast<unsigned char>(c)) != marked ||
                            header.should_encode(static_cast<unsigned char>(c)) !=
                                (marked || std::strchr(" _?", c)))
                            torn = true;
                    }
                });
            for (std::thread &thread : threads) thread.join();
            _exit(torn ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "try " << attempt;
    }
}

}  // namespace
