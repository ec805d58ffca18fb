// Charset handles: the cache by every name, published names, the special
// charsets, the all-charsets array and iconv handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unicode/ucnv.h>

#include "capture.h"
#include "i18n.h"
#include "i18n/converter.h"

namespace {

using i18n_test::stderr_of;

TEST(CharsetOpen, SameNameGivesTheSameHandle) {
    i18n_charset_t first = i18n_charset_open("UTF-8");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(i18n_charset_open("UTF-8"), first);
    // ICU's canonical name of "utf8" is "UTF-8", which is cached by now.
    EXPECT_EQ(i18n_charset_open("utf8"), first);
    EXPECT_EQ(i18n_charset_open("utf-8"), first);
}

TEST(CharsetOpen, PublishesTheMimeNameElseTheIanaNameElseIcusName) {
    struct Row {
        const char *opened;
        const char *published;
    };
    const Row rows[] = {
        {"utf8", "UTF-8"},
        {"latin1", "ISO-8859-1"},
        {"sjis", "Shift_JIS"},
        {"cp1252", "windows-1252"},
        {"koi8r", "KOI8-R"},
        {"UTF16_PlatformEndian", "UTF-16LE"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.opened);
        i18n_charset_t charset = i18n_charset_open(row.opened);
        ASSERT_NE(charset, nullptr);
        UErrorCode code = U_ZERO_ERROR;
        const char *mime = ucnv_getStandardName(row.opened, "MIME", &code);
        if (mime) EXPECT_STREQ(i18n_charset_get_name(charset), mime);
        else EXPECT_STREQ(i18n_charset_get_name(charset), row.published);
    }
}

TEST(CharsetOpen, UnknownNamesFailSilently) {
    const char *names[] = {"no-such-charset", "", nullptr};
    for (const char *name : names) {
        SCOPED_TRACE(name ? name : "(null)");
        std::string printed = stderr_of([&] { EXPECT_EQ(i18n_charset_open(name), nullptr); });
        EXPECT_EQ(printed, "");
    }
    // A failure is not cached: the name still fails, and a real one still opens.
    EXPECT_EQ(i18n_charset_open("no-such-charset"), nullptr);
    EXPECT_NE(i18n_charset_open("ISO-8859-15"), nullptr);
}

TEST(CharsetOpen, HandlesConvertWithFallbacksOffAndStopCallbacks) {
    // U+00A0 has only a fallback mapping in some charsets; an unmappable
    // character must fail instead of turning into a substitute.
    i18n_charset_t utf8 = i18n_charset_open("UTF-8");
    i18n_charset_t latin1 = i18n_charset_open("ISO-8859-1");
    char *out = nullptr;
    size_t out_len = 0;
    size_t position = 12345;
    EXPECT_EQ(i18n_iconv_easy_ex(utf8, "a\xe2\x82\xac", 4, &position, latin1, &out, &out_len), I18N_ICONV_UNMAPPABLE);
    EXPECT_EQ(out_len, 1u);
    i18n_iconv_free(out);
}

TEST(CharsetOpenSpecial, KindsAndTheirSlots) {
    EXPECT_EQ(i18n_charset_open_special(1), i18n_charset_open("UTF-8"));
    EXPECT_EQ(i18n_charset_open_special(1), i18n_charset_open_special(1));
    EXPECT_EQ(i18n_charset_open_special(2), i18n_charset_open("UTF16_PlatformEndian"));
    EXPECT_EQ(i18n_charset_open_special(3), i18n_charset_open("UTF32_PlatformEndian"));
    EXPECT_EQ(i18n_charset_open_special(0), i18n_charset_open(ucnv_getDefaultName()));
    const int bad[] = {4, -1, 1000};
    for (int kind : bad) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(i18n_charset_open_special(kind), nullptr);
    }
}

TEST(CharsetOpenAll, OneEntryPerAvailableConverterThenNull) {
    i18n_charset_t *all = i18n_charset_open_all();
    ASSERT_NE(all, nullptr);
    int32_t count = ucnv_countAvailable();
    for (int32_t i = 0; i < count; ++i) {
        SCOPED_TRACE(ucnv_getAvailableName(i));
        EXPECT_EQ(all[i], i18n_charset_open(ucnv_getAvailableName(i)));
    }
    EXPECT_EQ(all[count], nullptr);
    EXPECT_EQ(i18n_charset_open_all(), all);
}

TEST(IconvHandle, ClonesConvertOnTheirOwn) {
    i18n_iconv_t cd = i18n_iconv_open(i18n_charset_open("ISO-8859-1"), i18n_charset_open("UTF-8"));
    ASSERT_NE(cd, nullptr);
    i18n_iconv_reset(cd);
    i18n_iconv_close(cd);
    i18n_iconv_close(nullptr);
    EXPECT_EQ(i18n_iconv_open(nullptr, i18n_charset_open("UTF-8")), nullptr);
    EXPECT_EQ(i18n_iconv_open(i18n_charset_open("UTF-8"), nullptr), nullptr);
}

TEST(IconvHandle, PlaceholdersReadNothing) {
    char text[] = "abc";
    char *in = text;
    size_t left = 3;
    EXPECT_EQ(i18n_iconv(nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(i18n_iconv(reinterpret_cast<i18n_iconv_t>(text), &in, &left, &in, &left), 1);
    EXPECT_EQ(left, 3u);
    EXPECT_EQ(i18n_iconv_detect_codeset(nullptr, 0, nullptr), 0);
    EXPECT_EQ(i18n_iconv_detect_codeset(text, 3, nullptr), 0);
}

TEST(OpenUcnvConverter, ConfiguresOrPrintsMessageZero) {
    i18n::UConverterPtr converter(i18n::open_ucnv_converter("ISO-8859-1"));
    ASSERT_TRUE(converter);
    // Fallbacks off, stop callback: an unmappable character is an error.
    UErrorCode code = U_ZERO_ERROR;
    char out[8];
    const UChar euro[] = {0x20AC};
    ucnv_fromUChars(converter.get(), out, sizeof out, euro, 1, &code);
    EXPECT_EQ(code, U_INVALID_CHAR_FOUND);
    EXPECT_FALSE(ucnv_usesFallback(converter.get()));

    std::string printed = stderr_of([] { EXPECT_EQ(i18n::open_ucnv_converter("bogus-cs"), nullptr); });
    EXPECT_EQ(printed, "i18n-1: Unable to open a UConverter for charset bogus-cs\n");
}

}  // namespace
