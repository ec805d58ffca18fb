// One-shot conversions: i18n_iconv_easy's buffers, and i18n_iconv_easy_ex's
// codes and failure positions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "capture.h"
#include "i18n.h"

namespace {

using i18n_test::GuardedBuffer;

i18n_charset_t cs(const char *name) {
    i18n_charset_t charset = i18n_charset_open(name);
    EXPECT_NE(charset, nullptr) << name;
    return charset;
}

TEST(IconvEasy, AllocatesATerminatedResult) {
    size_t length = 0xdeadbeef;
    char *out = i18n_iconv_easy(cs("UTF-8"), "abc", 3, cs("UTF-8"), nullptr, &length);
    ASSERT_NE(out, nullptr);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(length, 3u);
    i18n_iconv_free(out);
    // The length pointer may be missing when the library allocates.
    out = i18n_iconv_easy(cs("ISO-8859-1"), "caf\xe9", 4, cs("UTF-8"), nullptr, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_STREQ(out, "caf\xc3\xa9");
    i18n_iconv_free(out);
}

TEST(IconvEasy, WritesIntoACallerBufferWithinItsCapacity) {
    GuardedBuffer buffer(5);
    size_t length = buffer.size();
    char *out = i18n_iconv_easy(cs("ISO-8859-1"), "caf\xe9", 4, cs("UTF-8"), buffer.data(), &length);
    EXPECT_EQ(out, buffer.data());
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(std::string(buffer.data(), 5), "caf\xc3\xa9");
    EXPECT_TRUE(buffer.guard_intact());
}

TEST(IconvEasy, TooSmallABufferFails) {
    GuardedBuffer buffer(4);
    size_t length = buffer.size();
    EXPECT_EQ(i18n_iconv_easy(cs("ISO-8859-1"), "caf\xe9", 4, cs("UTF-8"), buffer.data(), &length), nullptr);
    EXPECT_EQ(length, 4u);
    EXPECT_TRUE(buffer.guard_intact());
}

TEST(IconvEasy, FailuresGiveNull) {
    struct Row {
        const char *label;
        const char *from;
        std::string input;
        const char *to;
    };
    const Row rows[] = {
        {"malformed UTF-8", "UTF-8", "a\xff", "UTF-16LE"},
        {"truncated UTF-8", "UTF-8", "a\xe3\x81", "UTF-8"},
        {"unmappable", "UTF-8", "\xe2\x82\xac", "ISO-8859-1"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        size_t length = 0xdeadbeef;
        EXPECT_EQ(i18n_iconv_easy(cs(row.from), row.input.data(), row.input.size(), cs(row.to), nullptr, &length),
                  nullptr);
        EXPECT_EQ(length, 0xdeadbeefu);
    }
    size_t length = 0;
    EXPECT_EQ(i18n_iconv_easy(nullptr, "a", 1, cs("UTF-8"), nullptr, &length), nullptr);
    EXPECT_EQ(i18n_iconv_easy(cs("UTF-8"), "a", 1, nullptr, nullptr, &length), nullptr);
}

TEST(IconvEasy, ScsuWithMoreUnitsThanBytesConverts) {
    // Linear B in one SCSU window: a byte each, two UTF-16 units each.
    std::string text;
    for (int i = 0; i < 64; ++i) text += "\xF0\x90\x80" + std::string(1, static_cast<char>(0x80 + i));
    char *scsu = nullptr;
    size_t scsu_length = 0;
    ASSERT_EQ(i18n_iconv_easy_ex(cs("UTF-8"), text.data(), text.size(), nullptr, cs("SCSU"), &scsu, &scsu_length), 0);
    ASSERT_LT(scsu_length * 2, text.size());  // fewer bytes than the 128 units they stand for
    size_t length = 0xdeadbeef;
    char *back = i18n_iconv_easy(cs("SCSU"), scsu, scsu_length, cs("UTF-8"), nullptr, &length);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::string(back, length), text);
    i18n_iconv_free(back);
    i18n_iconv_free(scsu);
}

TEST(IconvEasy, ShiftJisRoundTrip) {
    const std::string text = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e text \xe3\x81\x82";
    size_t sjis_length = 0;
    char *sjis = i18n_iconv_easy(cs("UTF-8"), text.data(), text.size(), cs("Shift_JIS"), nullptr, &sjis_length);
    ASSERT_NE(sjis, nullptr);
    EXPECT_EQ(std::string(sjis, sjis_length), "\x93\xfa\x96\x7b\x8c\xea text \x82\xa0");
    size_t back_length = 0;
    char *back = i18n_iconv_easy(cs("Shift_JIS"), sjis, sjis_length, cs("UTF-8"), nullptr, &back_length);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::string(back, back_length), text);
    i18n_iconv_free(sjis);
    i18n_iconv_free(back);
}

TEST(IconvEasy, StatefulTargetsFitTheAllocation) {
    // Alternating ASCII and kanji costs an escape sequence per character.
    std::string text;
    for (int i = 0; i < 50; ++i) text += "a\xe6\x97\xa5";
    size_t length = 0;
    char *out = i18n_iconv_easy(cs("UTF-8"), text.data(), text.size(), cs("ISO-2022-JP"), nullptr, &length);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(length, 50u * 9 + 0);
    i18n_iconv_free(out);
}

struct ExRow {
    const char *label;
    const char *from;
    std::string input;
    const char *to;
    size_t capacity;  // 0: the library allocates
    int code;
    size_t position;  // expected when code != 0
    std::string output;
};

TEST(IconvEasyEx, CodesAndPositions) {
    const ExRow rows[] = {
        {"plain", "UTF-8", "abc", "ISO-8859-1", 0, I18N_ICONV_OK, 0, "abc"},
        {"empty", "UTF-8", "", "ISO-8859-1", 0, I18N_ICONV_OK, 0, ""},
        {"ends inside a character", "UTF-8", "ab\xe3\x81", "UTF-16LE", 0, I18N_ICONV_TRUNCATED, 4, ""},
        {"malformed byte", "UTF-8", "a\xff" "bc", "UTF-16LE", 0, I18N_ICONV_MALFORMED, 2, ""},
        {"unmappable after two", "UTF-8", "ab\xe2\x82\xac" "c", "ISO-8859-1", 0, I18N_ICONV_UNMAPPABLE, 1, "ab"},
        {"unmappable first", "UTF-8", "\xe2\x82\xac", "ISO-8859-1", 0, I18N_ICONV_UNMAPPABLE, 0, ""},
        {"unmappable after multibyte", "UTF-8", "\xc3\xa9\xc3\xa9\xe2\x82\xac", "ISO-8859-1", 0,
         I18N_ICONV_UNMAPPABLE, 2, "\xe9\xe9"},
        {"no room", "UTF-8", "abcd", "ISO-8859-1", 2, I18N_ICONV_NO_ROOM, 1, "ab"},
        {"exact room", "UTF-8", "abcd", "ISO-8859-1", 4, I18N_ICONV_OK, 0, "abcd"},
        {"to Shift_JIS", "UTF-8", "\xe3\x81\x82", "Shift_JIS", 0, I18N_ICONV_OK, 0, "\x82\xa0"},
        // UTF-7 carries a lone surrogate, which no charset can take.
        {"lone surrogate", "UTF-7", "a+2Ag-", "ISO-8859-1", 0, I18N_ICONV_MALFORMED, 0, "a"},
        // ICU's stop callback drops a default-ignorable code point it cannot map.
        {"zero width space", "UTF-8", "a\xe2\x80\x8b" "b", "ISO-8859-1", 0, I18N_ICONV_OK, 0, "ab"},
    };
    for (const ExRow &row : rows) {
        SCOPED_TRACE(row.label);
        GuardedBuffer buffer(row.capacity);
        char *out = row.capacity ? buffer.data() : nullptr;
        size_t length = row.capacity;
        size_t position = 0xdeadbeef;
        int code = i18n_iconv_easy_ex(cs(row.from), row.input.data(), row.input.size(), &position, cs(row.to), &out,
                                      &length);
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(position, row.code ? row.position : 0xdeadbeefu);
        if (row.code == I18N_ICONV_TRUNCATED || (row.code == I18N_ICONV_MALFORMED && row.output.empty())) {
            EXPECT_EQ(length, 0u);
            EXPECT_EQ(out, nullptr);  // the first stage fails before any allocation
        } else {
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(std::string(out, length), row.output);
        }
        if (row.capacity) {
            EXPECT_EQ(out, buffer.data());
            EXPECT_TRUE(buffer.guard_intact());
        } else {
            i18n_iconv_free(out);
        }
    }
}

TEST(IconvEasyEx, AFailureLeavesNoStateBehind) {
    char *out = nullptr;
    size_t length = 0;
    size_t position = 0;
    EXPECT_EQ(i18n_iconv_easy_ex(cs("UTF-8"), "a\xe3", 2, &position, cs("UTF-16LE"), &out, &length),
              I18N_ICONV_TRUNCATED);
    // The truncated character must not leak into the next conversion.
    EXPECT_EQ(i18n_iconv_easy_ex(cs("UTF-8"), "z", 1, &position, cs("UTF-16LE"), &out, &length), I18N_ICONV_OK);
    EXPECT_EQ(std::string(out, length), std::string("z\0", 2));
    i18n_iconv_free(out);
}

TEST(IconvEasyEx, MissingArgumentsAreErrors) {
    char *out = nullptr;
    size_t length = 7;
    size_t position = 0;
    EXPECT_LT(i18n_iconv_easy_ex(nullptr, "a", 1, &position, cs("UTF-8"), &out, &length), 0);
    EXPECT_LT(i18n_iconv_easy_ex(cs("UTF-8"), "a", 1, &position, nullptr, &out, &length), 0);
    EXPECT_LT(i18n_iconv_easy_ex(cs("UTF-8"), "a", 1, &position, cs("UTF-8"), nullptr, &length), 0);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
