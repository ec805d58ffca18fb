// MultiByteToWideChar and WideCharToMultiByte: UTF-8 as the ANSI code page,
// the size rules and ill-formed input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "winnls.h"

namespace {

constexpr char16_t kPoison16 = 0xCCCC;

TEST(MultiByteToWideChar, ConvertsAndCountsAsWindowsDoes) {
    struct Case {
        const char *label;
        std::string in;
        int size;  // -1: through the terminator
        DWORD flags;
        std::u16string out;
        DWORD error;
    } cases[] = {
        {"ascii", "root", 4, 0, u"root", 0},
        {"terminator counted", "root", -1, 0, std::u16string(u"root\0", 5), 0},
        {"two and three bytes", "\xC3\xA9t\xE2\x82\xAC", 6, 0, u"\u00E9t\u20AC", 0},
        {"four bytes", "\xF0\x9F\x98\x80", 4, 0, u"\U0001F600", 0},
        {"stray byte replaced", "a\xFF" "b", 3, 0, u"a\uFFFDb", 0},
        {"stray byte refused", "a\xFF" "b", 3, MB_ERR_INVALID_CHARS, u"", ERROR_NO_UNICODE_TRANSLATION},
        {"overlong refused", "\xC0\xAF", 2, MB_ERR_INVALID_CHARS, u"", ERROR_NO_UNICODE_TRANSLATION},
        {"surrogate refused", "\xED\xA0\x80", 3, MB_ERR_INVALID_CHARS, u"", ERROR_NO_UNICODE_TRANSLATION},
        {"cut sequence replaced", "x\xE2\x82", 3, 0, u"x\uFFFD\uFFFD", 0},
        {"zero length", "x", 0, 0, u"", ERROR_INVALID_PARAMETER},
        {"unknown flag", "x", 1, 0x100, u"", ERROR_INVALID_FLAGS},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        SetLastError(0);
        int needed = MultiByteToWideChar(CP_ACP, c.flags, c.in.c_str(), c.size, nullptr, 0);
        EXPECT_EQ(needed, c.error ? 0 : static_cast<int>(c.out.size()));
        EXPECT_EQ(GetLastError(), c.error);
        if (c.error) continue;
        std::u16string out(c.out.size() + 4, kPoison16);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, c.flags, c.in.c_str(), c.size, out.data(), needed), needed);
        EXPECT_EQ(out.substr(0, needed), c.out);
        EXPECT_EQ(out[needed], kPoison16);
        if (needed > 1) {
            SetLastError(0);
            EXPECT_EQ(MultiByteToWideChar(CP_UTF8, c.flags, c.in.c_str(), c.size, out.data(), needed - 1), 0);
            EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        }
    }
}

TEST(WideCharToMultiByte, ConvertsAndCountsAsWindowsDoes) {
    struct Case {
        const char *label;
        std::u16string in;
        int size;
        DWORD flags;
        std::string out;
        DWORD error;
    } cases[] = {
        {"ascii", u"alice", 5, 0, "alice", 0},
        {"terminator counted", u"alice", -1, 0, std::string("alice\0", 6), 0},
        {"accents and symbols", u"\u00E9\u20AC", 2, 0, "\xC3\xA9\xE2\x82\xAC", 0},
        {"surrogate pair", u"\U0001F600", 2, 0, "\xF0\x9F\x98\x80", 0},
        {"lone surrogate replaced", std::u16string(1, char16_t(0xD800)) + u"x", 2, 0, "\xEF\xBF\xBDx", 0},
        {"lone surrogate refused", std::u16string(1, char16_t(0xDC00)), 1, WC_ERR_INVALID_CHARS, "",
         ERROR_NO_UNICODE_TRANSLATION},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        SetLastError(0);
        int needed = WideCharToMultiByte(CP_ACP, c.flags, c.in.c_str(), c.size, nullptr, 0, nullptr, nullptr);
        EXPECT_EQ(needed, c.error ? 0 : static_cast<int>(c.out.size()));
        EXPECT_EQ(GetLastError(), c.error);
        if (c.error) continue;
        std::string out(c.out.size() + 4, '\xCC');
        EXPECT_EQ(WideCharToMultiByte(CP_OEMCP, c.flags, c.in.c_str(), c.size, out.data(), needed, nullptr, nullptr),
                  needed);
        EXPECT_EQ(out.substr(0, needed), c.out);
        EXPECT_EQ(out[needed], '\xCC');
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(CP_UTF8, c.flags, c.in.c_str(), c.size, out.data(), needed - 1, nullptr, nullptr),
                  0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    }
}

TEST(WideCharToMultiByte, OnlyUtf8CodePagesAndNoDefaultCharacter) {
    BOOL used = FALSE;
    char out[8];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(1252, 0, u"x", 1, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"x", 1, out, 8, "?", nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"x", 1, out, 8, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    WCHAR wide[4];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(932, 0, "x", 1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(UpperCase, FoldsTheScriptsOfAccountNames) {
    struct Case {
        char16_t lower;
        char16_t upper;
    } cases[] = {
        {u'a', u'A'},          {u'Z', u'Z'},          {u'1', u'1'},          {u'\u00E9', u'\u00C9'},
        {u'\u00F7', u'\u00F7'}, {u'\u00DF', u'\u00DF'}, {u'\u00FF', u'\u0178'}, {u'\u0101', u'\u0100'},
        {u'\u0100', u'\u0100'}, {u'\u013A', u'\u0139'}, {u'\u0131', u'I'},      {u'\u017E', u'\u017D'},
        {u'\u03B1', u'\u0391'}, {u'\u03C2', u'\u03A3'}, {u'\u03AD', u'\u0388'}, {u'\u03CE', u'\u038F'},
        {u'\u0436', u'\u0416'}, {u'\u0451', u'\u0401'}, {u'\u0461', u'\u0460'}, {u'\uFF41', u'\uFF21'},
        {u'\u4E2D', u'\u4E2D'},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.lower));
        EXPECT_EQ(quarn::win32::upper_case(c.lower), c.upper);
    }
}

}  // namespace
