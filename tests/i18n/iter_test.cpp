// Conversion iterators: pass-through chunks, charset-to-charset chunks with
// offsets, whole-character chunk ends, and the reports of failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "i18n.h"
#include "i18n/charset_iter.h"

namespace {

using i18n_test::stderr_of;
using HeaderIter = i18n::CharsetToCharsetChunkIter<i18n::FromUnicodeFullCharIter>;
using BodyIter = i18n::CharsetToCharsetChunkIter<i18n::FromUnicodeIter>;

// Every chunk of the text, after the limit (if any) was set.
std::vector<std::string> chunks_of(i18n::CharsetToCharsetIterPrototype &iter, const std::string &text,
                                   int32_t limit = -1) {
    iter.set_in_str(text.data(), static_cast<int32_t>(text.size()));
    if (limit != -1) iter.set_chunk_limit(limit);
    std::vector<std::string> chunks;
    do {
        iter.next();
        if (iter.is_error()) break;
        chunks.emplace_back(iter.get_str());
    } while (iter.has_more());
    return chunks;
}

std::string repeat(const std::string &piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

std::string decoded(const std::string &bytes, const char *charset) {
    size_t length = 0;
    char *out = i18n_iconv_easy(i18n_charset_open(charset), bytes.data(), bytes.size(), i18n_charset_open("UTF-8"),
                                nullptr, &length);
    if (!out) return "<undecodable>";
    std::string text(out, length);
    i18n_iconv_free(out);
    return text;
}

TEST(TrivialIter, PassesThreeHundredBytesAs256And44) {
    i18n::TrivialIter iter(256);
    std::string text(300, 'q');
    std::vector<std::string> chunks = chunks_of(iter, text);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].size(), 256u);
    EXPECT_EQ(chunks[1].size(), 44u);
    EXPECT_FALSE(iter.char_iter().has_more());
}

TEST(TrivialIter, LimitAndEmptyText) {
    i18n::TrivialIter iter(256);
    std::vector<std::string> chunks = chunks_of(iter, std::string(100, 'x'), 30);
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[3].size(), 10u);
    i18n::TrivialIter empty(256);
    chunks = chunks_of(empty, "");
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], "");
    // A limit of zero or less, or not below the chunk size, is ignored.
    i18n::TrivialIter ignored(256);
    EXPECT_EQ(chunks_of(ignored, std::string(300, 'x'), 0).size(), 2u);
}

TEST(TrivialIter, AViewIsReadInPlaceAndACopyIsItsOwn) {
    std::string text(300, 'v');
    text[299] = 'w';
    i18n::TrivialIter viewing(256);
    viewing.set_in_view(text.data(), static_cast<int32_t>(text.size()));
    viewing.next();
    EXPECT_EQ(viewing.get_chunk().text, text.data());
    // A copy made mid-way goes on from the same place in the same text.
    i18n::TrivialIter copy_of_view(viewing);
    copy_of_view.next();
    EXPECT_EQ(copy_of_view.get_chunk().text, text.data() + 256);

    i18n::TrivialIter copying(256);
    copying.set_in_str(text.data(), static_cast<int32_t>(text.size()));
    copying.next();
    i18n::TrivialIter copy_of_copy(copying);
    text.assign(300, 'X');  // neither holds on to the caller's text
    EXPECT_EQ(std::string(copying.get_str()), std::string(256, 'v'));
    copying.next();
    copy_of_copy.next();
    EXPECT_EQ(std::string(copying.get_str()), std::string(43, 'v') + "w");
    EXPECT_EQ(std::string(copy_of_copy.get_str()), std::string(43, 'v') + "w");
    EXPECT_NE(copy_of_copy.get_str().data(), copying.get_str().data());
}

// Each chunk as its text with the characters of its walk set apart by "|",
// then each byte's source offset.
std::vector<std::string> walked_chunks(i18n::CharsetToCharsetIterPrototype &iter, const std::string &text,
                                       int32_t limit) {
    iter.set_in_str(text.data(), static_cast<int32_t>(text.size()));
    iter.set_chunk_limit(limit);
    std::vector<std::string> chunks;
    do {
        iter.next();
        if (iter.is_error()) return {"<error>"};
        std::string chunk(iter.get_str());
        std::string walked;
        for (i18n::CharIter<char> chars = iter.char_iter(); chars.has_more();) {
            i18n::BegEnd range = chars.next();
            walked += chunk.substr(static_cast<size_t>(range.begin()), static_cast<size_t>(range.size())) + "|";
        }
        for (int32_t i = 0; i < iter.get_chunk().length; ++i) walked += " " + std::to_string(iter.get_chunk().offsets[i]);
        chunks.push_back(walked);
    } while (iter.has_more());
    return chunks;
}

TEST(Utf8HeaderIter, ChunksAsTheConvertingIteratorGivesThem) {
    // Characters of one to four bytes, in runs that meet every chunk end.
    const std::string pieces[] = {"a", " ", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xef\xbf\xbf"};
    uint32_t state = 7;
    for (int round = 0; round < 400; ++round) {
        std::string text;
        int32_t units = 0;
        int32_t most_units = round % 3 ? 86 : 120;  // also past one UTF-16 chunk
        while (true) {
            state = state * 1103515245u + 12345u;
            const std::string &piece = pieces[(state >> 16) % 6];
            int32_t piece_units = piece.size() == 4 ? 2 : 1;
            if (units + piece_units > most_units || (state >> 8) % 97 == 0) break;
            text += piece;
            units += piece_units;
        }
        for (int32_t limit : {-1, 4, 5, 6, 7, 8, 45, 60, 255}) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", limit " << limit << ": " << text);
            i18n::Utf8HeaderIter fast(86, 256);
            HeaderIter converting("UTF-8", "UTF-8", 86, 256);
            ASSERT_EQ(walked_chunks(fast, text, limit), walked_chunks(converting, text, limit));
            EXPECT_EQ(fast.is_converting(), units > 86);
        }
    }
}

TEST(Utf8HeaderIter, IllFormedTextGoesThroughTheConverterAndIsReportedAlike) {
    const std::string texts[] = {
        "ab\xc3",             // ends inside a character
        "a\xc0\xaf" "b",       // overlong
        "a\xed\xa0\x80" "b",   // a surrogate
        "a\xf4\x90\x80\x80",  // past U+10FFFF
        "a\x80",              // a lone trail byte
        "a\xf8\x88\x80\x80\x80",
    };
    for (const std::string &text : texts) {
        SCOPED_TRACE(text);
        i18n::Utf8HeaderIter fast(86, 256);
        HeaderIter converting("UTF-8", "UTF-8", 86, 256);
        std::vector<std::string> fast_chunks, converted_chunks;
        std::string fast_report = stderr_of([&] { fast_chunks = walked_chunks(fast, text, -1); });
        std::string converting_report = stderr_of([&] { converted_chunks = walked_chunks(converting, text, -1); });
        EXPECT_TRUE(fast.is_converting());
        EXPECT_EQ(fast_chunks, converted_chunks);
        EXPECT_EQ(fast_chunks, std::vector<std::string>{"<error>"});
        EXPECT_FALSE(fast_report.empty());
        EXPECT_EQ(fast_report, converting_report);
    }
}

TEST(Utf8HeaderIter, ACopyGoesOnFromTheSamePlace) {
    std::string text;
    for (int i = 0; i < 30; ++i) text += "\xc3\xa9x";
    for (bool converting : {false, true}) {
        SCOPED_TRACE(converting ? "converting" : "fast");
        std::string input = converting ? text + "\xff" : text;
        i18n::Utf8HeaderIter iter(86, 256);
        iter.set_in_view(input.data(), static_cast<int32_t>(input.size()));
        iter.set_chunk_limit(10);
        iter.next();
        i18n::Utf8HeaderIter copy(iter);
        std::string rest_of_iter, rest_of_copy;
        while (iter.has_more() && copy.has_more()) {
            iter.next();
            copy.next();
            rest_of_iter += iter.get_str();
            rest_of_copy += copy.get_str();
        }
        EXPECT_EQ(rest_of_copy, rest_of_iter);
        EXPECT_EQ(iter.has_more(), copy.has_more());
    }
}

TEST(HeaderIter, FortyThreeByteCharactersWithLimit45GiveChunksOf14And14And12) {
    HeaderIter iter("UTF-8", "UTF-8", 86, 256);
    ASSERT_TRUE(iter.is_ok());
    std::string text = repeat("\xe3\x81\x82", 40);
    std::vector<std::string> chunks = chunks_of(iter, text, 45);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].size(), 42u);
    EXPECT_EQ(chunks[1].size(), 42u);
    EXPECT_EQ(chunks[2].size(), 36u);
    EXPECT_EQ(chunks[0] + chunks[1] + chunks[2], text);
}

TEST(HeaderIter, EveryChunkEndsOnACharacterOverManyUnitChunks) {
    // Longer than one 86-unit chunk, with two- to four-byte characters.
    std::string text = repeat("a\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80 ", 60);
    for (int32_t limit : {10, 17, 45, 60}) {
        SCOPED_TRACE(limit);
        HeaderIter iter("UTF-8", "UTF-8", 86, 256);
        std::vector<std::string> chunks = chunks_of(iter, text, limit);
        std::string joined;
        for (const std::string &chunk : chunks) {
            EXPECT_LE(chunk.size(), static_cast<size_t>(limit));
            EXPECT_NE(decoded(chunk, "UTF-8"), "<undecodable>") << chunk;
            joined += chunk;
        }
        EXPECT_EQ(joined, text);
    }
}

TEST(HeaderIter, StatefulTargetChunksDecodeOnTheirOwn) {
    std::string text = repeat("ab\xe6\x97\xa5\xe6\x9c\xac", 30);
    HeaderIter iter("UTF-8", "ISO-2022-JP", 86, 256);
    std::vector<std::string> chunks = chunks_of(iter, text, 45);
    ASSERT_GT(chunks.size(), 2u);
    std::string joined;
    for (const std::string &chunk : chunks) {
        EXPECT_LE(chunk.size(), 45u);
        std::string piece = decoded(chunk, "ISO-2022-JP");
        EXPECT_NE(piece, "<undecodable>");
        joined += piece;
    }
    EXPECT_EQ(joined, text);
}

TEST(HeaderIter, CharacterWalkFollowsSourceOffsets) {
    HeaderIter iter("ISO-8859-1", "UTF-8", 86, 256);
    std::string text = "a\xe9z";
    iter.set_in_str(text.data(), 3);
    iter.next();
    EXPECT_EQ(iter.get_str(), "a\xc3\xa9z");
    i18n::CharIter<char> chars = iter.char_iter();
    std::vector<int32_t> sizes;
    while (chars.has_more()) sizes.push_back(chars.next().size());
    EXPECT_EQ(sizes, (std::vector<int32_t>{1, 2, 1}));
}

TEST(BodyIter, ChunksJoinToTheWholeConversion) {
    std::string text = repeat("caf\xc3\xa9 \xe2\x82\xac ", 200);
    BodyIter iter("UTF-8", "windows-1252", 86, 256);
    std::vector<std::string> chunks = chunks_of(iter, text);
    std::string joined;
    for (const std::string &chunk : chunks) {
        EXPECT_LE(chunk.size(), 256u);
        joined += chunk;
    }
    EXPECT_EQ(joined, repeat("caf\xe9 \x80 ", 200));
}

TEST(BodyIter, ACopyCarriesOnFromTheSamePlace) {
    std::string text = repeat("0123456789", 100);
    BodyIter iter("UTF-8", "UTF-16BE", 86, 256);
    iter.set_in_str(text.data(), static_cast<int32_t>(text.size()));
    iter.next();
    BodyIter copy(iter);
    std::string rest_of_iter, rest_of_copy;
    while (iter.has_more()) {
        iter.next();
        rest_of_iter += iter.get_str();
    }
    while (copy.has_more()) {
        copy.next();
        rest_of_copy += copy.get_str();
    }
    EXPECT_EQ(rest_of_copy, rest_of_iter);
    EXPECT_FALSE(rest_of_iter.empty());
}

TEST(ChunkIterFailures, MalformedInputPrintsMessageOneOnce) {
    BodyIter iter("UTF-8", "ISO-8859-1", 86, 256);
    std::string text = "abc\xff" "def";
    std::vector<std::string> chunks;
    std::string printed = stderr_of([&] { chunks = chunks_of(iter, text); });
    EXPECT_TRUE(iter.is_error());
    EXPECT_FALSE(iter.has_more());
    EXPECT_TRUE(chunks.empty());
    EXPECT_EQ(printed,
              "i18n-2: Error converting input to Unicode The first several bytes starting at the beginning of the "
              "problematic MB character have the following hexadecimal representation: \\xff\\x64\\x65\\x66. The "
              "beginning of the problematic MB character is 3 bytes away from the beginning of the input string.\n");
    // After an error, nothing more is produced.
    printed = stderr_of([&] { iter.next(); });
    EXPECT_EQ(printed, "");
}

TEST(ChunkIterFailures, UnmappablePrintsMessageThreeWithTheInputBytes) {
    std::string text = repeat("x", 100) + "\xe2\x82\xac";  // the euro sign lands in the second unit chunk
    BodyIter iter("UTF-8", "ISO-8859-1", 86, 256);
    std::string printed = stderr_of([&] { chunks_of(iter, text); });
    EXPECT_TRUE(iter.is_error());
    EXPECT_EQ(printed,
              "i18n-4: Error converting unicode to output. The hexadecimal representation of the problematic MB "
              "character is: \\xe2\\x82\\xac. It is 100 bytes away from the beginning of the input string Its "
              "unicode hexadecimal representation is \\x20ac.\n");
}

TEST(ChunkIterFailures, SupplementaryCharacterIsQuotedWhole) {
    HeaderIter iter("UTF-8", "ISO-8859-1", 86, 256);
    std::string printed = stderr_of([&] { chunks_of(iter, "ab\xf0\x9f\x98\x80"); });
    EXPECT_NE(printed.find("character is: \\xf0\\x9f\\x98\\x80. It is 2 bytes away"), std::string::npos) << printed;
    EXPECT_NE(printed.find("representation is \\xd83d\\xde00.\n"), std::string::npos) << printed;
}

TEST(ChunkIterFailures, ASupplementaryCharacterSplitBetweenUnitChunksIsQuotedWhole) {
    // 85 units, then U+1F600: its lead is the 86th unit, its trail the next chunk's first.
    std::string text = repeat("x", 85) + "\xf0\x9f\x98\x80" + "yz";
    for (bool header : {false, true}) {
        SCOPED_TRACE(header ? "header" : "body");
        std::string printed = stderr_of([&] {
            if (header) {
                HeaderIter iter("UTF-8", "ISO-8859-1", 86, 256);
                chunks_of(iter, text);
            } else {
                BodyIter iter("UTF-8", "ISO-8859-1", 86, 256);
                chunks_of(iter, text);
            }
        });
        EXPECT_EQ(printed,
                  "i18n-4: Error converting unicode to output. The hexadecimal representation of the problematic MB "
                  "character is: \\xf0\\x9f\\x98\\x80. It is 85 bytes away from the beginning of the input string Its "
                  "unicode hexadecimal representation is \\xd83d\\xde00.\n");
    }
}

TEST(ChunkIterFailures, UnknownCharsetPrintsMessageZero) {
    std::string printed = stderr_of([] {
        BodyIter iter("UTF-8", "not-a-charset", 86, 256);
        EXPECT_TRUE(iter.is_error());
    });
    EXPECT_EQ(printed, "i18n-1: Unable to open a UConverter for charset not-a-charset\n");
}

TEST(FromUnicodeIter, StandAloneFailurePrintsMessageTwo) {
    i18n::FromUnicodeIter iter("ISO-8859-1", 256);
    const UChar units[] = {0x61, 0x62, 0x20AC, 0x63};
    iter.set_input(units, 4);
    std::string printed = stderr_of([&] { iter.next(); });
    EXPECT_TRUE(iter.is_error());
    EXPECT_EQ(printed,
              "i18n-3: Error converting unicode to output. The problematic wide character has the following "
              "hexadecimal representation: \\x20ac. It is 2 wide characters away from the beginning of the Unicode "
              "sequence.\n");
}

TEST(ToUnicodeIter, OffsetsAndConsumedCount) {
    i18n::ToUnicodeIter iter("UTF-8", 86);
    std::string text = "a\xc3\xa9\xf0\x9f\x98\x80";
    iter.set_input(text.data(), static_cast<int32_t>(text.size()));
    iter.next();
    ASSERT_TRUE(iter.is_ok());
    const i18n::StrWithOffsets<UChar> &out = iter.get_out();
    ASSERT_EQ(out.length, 4);
    EXPECT_EQ(std::vector<int32_t>(out.offsets.begin(), out.offsets.begin() + 5),
              (std::vector<int32_t>{0, 1, 3, 3, 7}));
    EXPECT_FALSE(iter.has_more());
}

}  // namespace
