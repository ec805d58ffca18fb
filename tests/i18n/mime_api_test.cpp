// The i18n_mime_ functions: fixed and chosen encodings, the target tables, the
// default charset, and the unchanged copy of the text on every failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <unicode/ucnv.h>

#include "avx2.h"
#include "base64_reference.h"
#include "capture.h"
#include "i18n.h"
#include "i18n/processors.h"

namespace {

using i18n_test::stderr_of;

// Owns a result of the library and reads it as a string.
std::string take(char *text) {
    EXPECT_NE(text, nullptr);
    if (!text) return "<null>";
    std::string copy = text;
    i18n_mime_free(text);
    return copy;
}

// Finders that see a Shift_JIS host, whatever ICU's default charset is here.
struct ShiftJisHeaderFinder : HeaderCharsetFinder {
    explicit ShiftJisHeaderFinder(const char *) : HeaderCharsetFinder("Shift_JIS") {}
};
struct ShiftJisBodyFinder : BodyCharsetFinder {
    explicit ShiftJisBodyFinder(const char *) : BodyCharsetFinder("Shift_JIS") {}
};

TEST(MimeEncode, FixedEncodings) {
    EXPECT_EQ(take(i18n_mime_encode_qp("caf\xe9", "ISO-8859-1", "UTF-8")), "caf=C3=A9");
    EXPECT_EQ(take(i18n_mime_encode_b64("caf\xe9", "ISO-8859-1", "UTF-8")), "Y2Fmw6k=");
    EXPECT_EQ(take(i18n_mime_encode_header_b64("abc", "UTF-8", "UTF-8")), "=?UTF-8?B?YWJj?=");
    EXPECT_EQ(take(i18n_mime_encode_header_qp("caf\xe9 x", "ISO-8859-1", "UTF-8")), "=?UTF-8?Q?caf=C3=A9=20x?=");
    // The caller's target name goes into every word as it was spelled.
    EXPECT_EQ(take(i18n_mime_encode_header_qp("a", "UTF-8", "utf8")), "=?utf8?Q?a?=");
}

TEST(MimeEncode, MissingNamesGiveACopy) {
    const char *text = "plain text";
    struct Row {
        const char *label;
        char *(*encode)(const char *, const char *, const char *);
    };
    const Row rows[] = {{"header qp", i18n_mime_encode_header_qp},
                        {"header b64", i18n_mime_encode_header_b64},
                        {"body qp", i18n_mime_encode_qp},
                        {"body b64", i18n_mime_encode_b64}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        for (auto [from, to] : {std::pair<const char *, const char *>{"UTF-8", nullptr}, {nullptr, "UTF-8"},
                                {nullptr, nullptr}}) {
            char *result = row.encode(text, from, to);
            EXPECT_NE(result, text);
            EXPECT_EQ(take(result), text);
        }
    }
}

TEST(MimeEncode, FailuresGiveACopyAndOneMessage) {
    struct Row {
        const char *label;
        const char *text;
        const char *from;
        const char *to;
        const char *message_start;
    };
    const Row rows[] = {
        {"malformed input", "ab\xff" "cd", "UTF-8", "ISO-8859-1", "i18n-2: Error converting input to Unicode"},
        {"truncated input", "ab\xe3\x81", "UTF-8", "UTF-16LE", "i18n-2: Error converting input to Unicode"},
        {"unmappable", "a\xe2\x82\xac", "UTF-8", "ISO-8859-1", "i18n-4: Error converting unicode to output."},
        {"unknown target", "abc", "UTF-8", "no-such-cs", "i18n-1: Unable to open a UConverter for charset no-such-cs"},
        {"unknown source", "abc", "no-such-cs", "UTF-8", "i18n-1: Unable to open a UConverter for charset no-such-cs"},
        {"wrong case is still a name", "a=c", "utf-8", "IsO-8859-1", nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        for (auto encode : {i18n_mime_encode_qp, i18n_mime_encode_b64, i18n_mime_encode_header_qp,
                            i18n_mime_encode_header_b64}) {
            std::string result;
            std::string printed = stderr_of([&] { result = take(encode(row.text, row.from, row.to)); });
            if (!row.message_start) {
                EXPECT_EQ(printed, "");
                EXPECT_NE(result, row.text);
                continue;
            }
            EXPECT_EQ(result, row.text);
            EXPECT_EQ(printed.rfind(row.message_start, 0), 0u) << printed;
            EXPECT_EQ(printed.find('\n'), printed.size() - 1) << "one line: " << printed;
        }
    }
}

TEST(MimeEncode, EqualNamesOfACharsetIcuDoesNotKnowPassThroughABody) {
    std::string result;
    std::string printed = stderr_of([&] { result = take(i18n_mime_encode_qp("caf\xe9", "x-house", "x-house")); });
    EXPECT_EQ(result, "caf=E9");
    EXPECT_EQ(printed, "");
    i18n_mime_encoding_t kind = I18N_MIME_NONE;
    char *target = nullptr;
    printed = stderr_of([&] { result = take(i18n_mime_encode("caf\xe9", "x-house", "x-house", 0.5, &kind, &target)); });
    EXPECT_EQ(result, "caf=E9");
    EXPECT_EQ(kind, I18N_MIME_QP);
    EXPECT_STREQ(target, "x-house");
    EXPECT_EQ(printed, "");
    i18n_mime_free(target);
}

TEST(MimeEncode, NullTextGivesNull) {
    EXPECT_EQ(i18n_mime_encode_qp(nullptr, "UTF-8", "UTF-8"), nullptr);
    i18n_mime_free(nullptr);
}

TEST(MimeEncode, BodyLineShapes) {
    std::string b64 = take(i18n_mime_encode_b64(std::string(57 * 3, 'x').c_str(), "UTF-8", "UTF-8"));
    EXPECT_EQ(b64.find("\r\n"), 76u);
    EXPECT_EQ(b64.find("\r\n", 78), 78u + 72);
    std::string qp = take(i18n_mime_encode_qp(std::string(200, 'x').c_str(), "UTF-8", "UTF-8"));
    EXPECT_EQ(qp.find("=\r\n"), 75u);
    EXPECT_EQ(qp.find("=\r\n", 78), 78u + 73);
}

TEST(MimeEncode, HeaderLineShapeForUtf8) {
    std::string header = take(i18n_mime_encode_header_qp(std::string(130, 'h').c_str(), "UTF-8", "UTF-8"));
    EXPECT_EQ(header, "=?UTF-8?Q?" + std::string(63, 'h') + "?=\r\n\t=?UTF-8?Q?" + std::string(60, 'h') +
                          "?=\r\n\t=?UTF-8?Q?" + std::string(7, 'h') + "?=");
}

TEST(MimeEncode, VeryLongTexts) {
    const size_t size = 64u << 20;
    std::string text(size, 'v');
    for (size_t i = 0; i < size; i += 1000) text[i] = ' ';
    std::string b64 = take(i18n_mime_encode_b64(text.c_str(), "UTF-8", "UTF-8"));
    size_t lines = (size * 4 / 3 - 76) / 72 + 1;
    EXPECT_EQ(b64.size(), (size + 2) / 3 * 4 + 2 * (lines - (((size + 2) / 3 * 4 - 76) % 72 == 0 ? 1 : 0)));
    EXPECT_EQ(b64.substr(0, 8), "IHZ2dnZ2");
    std::string qp = take(i18n_mime_encode_qp(text.c_str(), "UTF-8", "ISO-8859-1"));
    EXPECT_GT(qp.size(), size);
    EXPECT_EQ(qp.substr(0, 7), " vvvvvv");
}

TEST(MimeEncode, PassedThroughBase64BodiesMatchTheReferenceOnEachPath) {
    // Lengths around lines, groups and the buffer's blocks; the text has no
    // NUL, as the functions take a terminated text.
    std::string bytes = i18n_test::mixed_bytes(20000);
    std::replace(bytes.begin(), bytes.end(), '\0', 'z');
    const bool native = i18n_mime::use_avx2;
    for (bool avx2 : {false, true}) {
        if (avx2 && !native) continue;
        i18n_mime::use_avx2 = avx2;
        for (size_t length : {0, 1, 2, 3, 56, 57, 58, 111, 112, 113, 255, 256, 257, 767, 768, 769, 5000, 19999}) {
            SCOPED_TRACE(testing::Message() << (avx2 ? "AVX2, " : "scalar, ") << length << " bytes");
            std::string text = bytes.substr(0, length);
            std::string expected = i18n_test::reference_b64_body(text);
            EXPECT_EQ(take(i18n_mime_encode_b64(text.c_str(), "UTF-8", "UTF-8")), expected);
            i18n_mime_encoding_t kind = I18N_MIME_NONE;
            EXPECT_EQ(take(i18n_mime_encode(text.c_str(), "UTF-8", "UTF-8", 0.0, &kind, nullptr)), expected);
            EXPECT_EQ(kind, I18N_MIME_B64);
        }
    }
    i18n_mime::use_avx2 = native;
}

TEST(MimeEncode, Utf8HeadersComeOutAsThroughTheConverters) {
    // "ibm-1208" is ICU's other name for UTF-8: it takes the converting path.
    std::string long_text;
    for (int i = 0; i < 40; ++i) long_text += "\xe2\x82\xac caf\xc3\xa9 ";
    const std::string texts[] = {"", "abc", "a_b?=c", "R\xc3\xa9union du comit\xc3\xa9 : ordre du jour",
                                 "\xf0\x9f\x98\x80\xf0\x9f\x98\x80 smile " + std::string(60, 'x'), long_text,
                                 "bad \xc3(", "bad end \xe2\x82"};
    for (const std::string &text : texts) {
        SCOPED_TRACE(text);
        for (const char *to : {"UTF-8", "utf-8"}) {
            auto both = [&](auto encode) {
                std::string fast, converted;
                std::string fast_report = stderr_of([&] { fast = take(encode("UTF-8", to)); });
                std::string converted_report = stderr_of([&] { converted = take(encode("ibm-1208", to)); });
                EXPECT_EQ(fast, converted);
                EXPECT_EQ(fast_report, converted_report);
            };
            both([&](const char *from, const char *target) {
                return i18n_mime_encode_header_qp(text.c_str(), from, target);
            });
            both([&](const char *from, const char *target) {
                return i18n_mime_encode_header_b64(text.c_str(), from, target);
            });
            for (double ratio : {0.0, 0.3, 2.0})
                both([&](const char *from, const char *target) {
                    return i18n_mime_encode_header(text.c_str(), from, target, ratio);
                });
        }
    }
}

TEST(MimeChoose, ByTheShareOfEscapedBytes) {
    // 2 of 10 bytes need escaping in a body.
    const char *text = "a=b=cdefgh";
    struct Row {
        double ratio;
        i18n_mime_encoding_t kind;
        const char *expected;
    };
    const Row rows[] = {
        {0.5, I18N_MIME_QP, "a=3Db=3Dcdefgh"},
        {0.2, I18N_MIME_B64, "YT1iPWNkZWZnaA=="},
        {0.21, I18N_MIME_QP, "a=3Db=3Dcdefgh"},
        {2.0, I18N_MIME_QP, "a=3Db=3Dcdefgh"},
        {0.0, I18N_MIME_B64, "YT1iPWNkZWZnaA=="},
        {-1.0, I18N_MIME_B64, "YT1iPWNkZWZnaA=="},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.ratio);
        i18n_mime_encoding_t kind = static_cast<i18n_mime_encoding_t>(0xCC);
        char *to_used = reinterpret_cast<char *>(0xdeadbeef);
        EXPECT_EQ(take(i18n_mime_encode(text, "UTF-8", "UTF-8", row.ratio, &kind, &to_used)), row.expected);
        EXPECT_EQ(kind, row.kind);
        EXPECT_EQ(take(to_used), "UTF-8");
    }
    i18n_mime_encoding_t kind = I18N_MIME_QP;
    EXPECT_EQ(take(i18n_mime_encode("", "UTF-8", "UTF-8", 2.0, &kind, nullptr)), "");
    EXPECT_EQ(kind, I18N_MIME_B64);
}

TEST(MimeChoose, HeadersUseTheHeaderTable) {
    // Spaces count in headers: 3 of 6 bytes.
    EXPECT_EQ(take(i18n_mime_encode_header("a b c ", "UTF-8", "UTF-8", 0.6)), "=?UTF-8?Q?a=20b=20c=20?=");
    EXPECT_EQ(take(i18n_mime_encode_header("a b c ", "UTF-8", "UTF-8", 0.5)), "=?UTF-8?B?YSBiIGMg?=");
    // Without a target name a header goes out as the header table says.
    EXPECT_EQ(take(i18n_mime_encode_header("\x82\xa0", "Shift_JIS", nullptr, 0.5)), "=?UTF-8?B?44GC?=");
    EXPECT_EQ(take(i18n_mime_encode_header("abc", "ISO-8859-1", nullptr, 0.5)), "abc");
}

TEST(MimeChoose, KindIsReportedAlsoWhenConversionFails) {
    i18n_mime_encoding_t kind = I18N_MIME_NONE;
    char *to_used = nullptr;
    std::string result;
    stderr_of([&] { result = take(i18n_mime_encode("a\xff", "UTF-8", "ISO-8859-1", 0.1, &kind, &to_used)); });
    EXPECT_EQ(result, "a\xff");
    EXPECT_EQ(kind, I18N_MIME_B64);
    EXPECT_EQ(take(to_used), "ISO-8859-1");
}

TEST(MimeChoose, BodyTargetFromTheTable) {
    i18n_mime_encoding_t kind = I18N_MIME_NONE;
    char *to_used = nullptr;
    // "あ" in Shift_JIS goes out as ISO-2022-JP.
    EXPECT_EQ(take(i18n_mime_encode("\x82\xa0", "Shift_JIS", nullptr, 0.1, &kind, &to_used)), "GyRCJCIbKEI=");
    EXPECT_EQ(kind, I18N_MIME_B64);
    EXPECT_EQ(take(to_used), "ISO-2022-JP");
    EXPECT_EQ(take(i18n_mime_encode("abc", "ISO-8859-1", nullptr, 0.1, &kind, &to_used)), "abc");
    EXPECT_EQ(kind, I18N_MIME_NONE);
    EXPECT_EQ(take(to_used), "");
}

TEST(MimeEasy, DefaultCharsetWithoutATarget) {
    // ICU's default charset here is not a Shift_JIS alias, so nothing has a target.
    ASSERT_EQ(i18n_mime_get_header_to_charset_name(ucnv_getDefaultName()), nullptr) << ucnv_getDefaultName();
    EXPECT_EQ(take(i18n_mime_easy_encode_header_qp("caf\xe9")), "caf\xe9");
    EXPECT_EQ(take(i18n_mime_easy_encode_header_b64("caf\xe9")), "caf\xe9");
    EXPECT_EQ(take(i18n_mime_easy_encode_header("caf\xe9", 0.5)), "caf\xe9");
    i18n_mime_encoding_t kind = I18N_MIME_QP;
    char *to_used = nullptr;
    EXPECT_EQ(take(i18n_mime_easy_encode("caf\xe9", 0.5, &kind, &to_used)), "caf\xe9");
    EXPECT_EQ(kind, I18N_MIME_NONE);
    EXPECT_EQ(take(to_used), "");
}

TEST(MimeEasy, ShiftJisHostGoesOutInTheTablesTargets) {
    using namespace i18n_mime;
    EXPECT_EQ(take(EasyEncoder<HeaderConverterEncoder<QPHeaderEncoder>, ShiftJisHeaderFinder>().encode("\x82\xa0")),
              "=?UTF-8?Q?=E3=81=82?=");
    EXPECT_EQ(take(EasyEncoder<HeaderConverterEncoder<B64HeaderEncoder>, ShiftJisHeaderFinder>().encode("\x82\xa0")),
              "=?UTF-8?B?44GC?=");
    i18n_mime_encoding_t kind = I18N_MIME_NONE;
    PlainEncoderChooser<BodyConverterEncoderChooser, ShiftJisBodyFinder> chooser(nullptr, nullptr, 0.5, &kind);
    EXPECT_EQ(take(chooser.encode("\x82\xa0")), "GyRCJCIbKEI=");
    EXPECT_EQ(kind, I18N_MIME_B64);
    EXPECT_STREQ(chooser.get_to_name(), "ISO-2022-JP");
}

TEST(TargetTables, ShiftJisAliasesOnly) {
    struct Row {
        const char *name;
        const char *body;
        const char *header;
    };
    const Row rows[] = {
        {"SHIFT_JIS", "ISO-2022-JP", "UTF-8"}, {"shift_jis", "ISO-2022-JP", "UTF-8"},
        {"Shift-JIS", nullptr, nullptr}, {"sjis", "ISO-2022-JP", "UTF-8"},
        {"csShiftJIS", "ISO-2022-JP", "UTF-8"}, {"UTF-8", nullptr, nullptr},
        {"EUC-JP", nullptr, nullptr},          {"", nullptr, nullptr},
        {nullptr, nullptr, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name ? row.name : "(null)");
        const char *body = i18n_mime_get_body_to_charset_name(row.name);
        const char *header = i18n_mime_get_header_to_charset_name(row.name);
        if (row.body) EXPECT_STREQ(body, row.body);
        else EXPECT_EQ(body, nullptr);
        if (row.header) EXPECT_STREQ(header, row.header);
        else EXPECT_EQ(header, nullptr);
    }
}

TEST(TransformCharsetName, LowersAsciiAndDropsHyphens) {
    EXPECT_EQ(take(i18n_mime_transform_charset_name("UTF-8")), "utf8");
    EXPECT_EQ(take(i18n_mime_transform_charset_name("ISO-2022-JP")), "iso2022jp");
    EXPECT_EQ(take(i18n_mime_transform_charset_name("A\xc3\x89-_z")), "a\xc3\x89_z");
    EXPECT_EQ(take(i18n_mime_transform_charset_name("")), "");
    EXPECT_EQ(i18n_mime_transform_charset_name(nullptr), nullptr);
}

}  // namespace
