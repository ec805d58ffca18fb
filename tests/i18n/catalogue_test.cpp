// The message catalogue, its hexadecimal dumps, the failure reports that
// quote them, and the support classes that carry error state.
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "i18n.h"
#include "i18n/catalogue.h"
#include "i18n/error.h"
#include "ks.h"

namespace {

using i18n_test::stderr_of;

TEST(Catalogue, Layout) {
    const imsg_table_t *table = _i18n_i18n_msg_table_adr();
    ASSERT_NE(table, nullptr);
    EXPECT_STREQ(table->facility, "i18n_lib");
    EXPECT_STREQ(table->short_name, "i18n");
    EXPECT_EQ(table->catalogue_number, 9);
    ASSERT_EQ(table->message_count, 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(table->numbers[i], i + 1);
    EXPECT_STREQ(table->texts[0], "Unable to open a UConverter for charset %s");
    EXPECT_STREQ(table->texts[4], "Character set alias %s is invalid");
    EXPECT_STREQ(table->texts[2],
                 "Error converting unicode to output.\nThe problematic wide character has the following hexadecimal "
                 "representation: %s.\nIt is %d wide characters away from the beginning of the Unicode sequence.\n");
    EXPECT_EQ(_i18n_i18n_msg_table_adr(), table);
}

TEST(Dump, BytesAndUnitsInLowercaseWithoutLeadingZeros) {
    EXPECT_EQ(i18n::dump_bytes("\x0a\xe9", 2), "\\xa\\xe9");
    EXPECT_EQ(i18n::dump_bytes("\x00\x7f", 2), "\\x0\\x7f");
    EXPECT_EQ(i18n::dump_bytes("", 0), "");
    const UChar units[] = {0x3042, 0x41, 0xD83D};
    EXPECT_EQ(i18n::dump_units(units, 3), "\\x3042\\x41\\xd83d");
}

TEST(Reports, ToUnicodeQuotesUpToFiveBytesFromOneBeforeTheStop) {
    std::string printed = stderr_of([] { i18n::report_to_unicode_failure("abc\xff" "defgh", 9, 4); });
    EXPECT_EQ(printed,
              "i18n-2: Error converting input to Unicode The first several bytes starting at the beginning of the "
              "problematic MB character have the following hexadecimal representation: \\xff\\x64\\x65\\x66\\x67. "
              "The beginning of the problematic MB character is 3 bytes away from the beginning of the input "
              "string.\n");
    printed = stderr_of([] { i18n::report_to_unicode_failure("ab\xe3\x81", 4, 4); });
    EXPECT_NE(printed.find("representation: \\x81. The beginning of the problematic MB character is 3 bytes"),
              std::string::npos)
        << printed;
}

TEST(Reports, FromUnicodeQuotesTheUnitBeforeTheStop) {
    const UChar units[] = {0x61, 0x20AC, 0x62};
    std::string printed = stderr_of([&] { i18n::report_from_unicode_failure(units, 2); });
    EXPECT_EQ(printed,
              "i18n-3: Error converting unicode to output. The problematic wide character has the following "
              "hexadecimal representation: \\x20ac. It is 1 wide characters away from the beginning of the Unicode "
              "sequence.\n");
}

TEST(Reports, CharsetToCharsetQuotesTheCharacterAndItsUnits) {
    const UChar units[] = {0x20AC};
    std::string printed =
        stderr_of([&] { i18n::report_charset_to_charset_failure("ab\xe2\x82\xac", i18n::BegEnd(2, 5), units, 1); });
    EXPECT_EQ(printed,
              "i18n-4: Error converting unicode to output. The hexadecimal representation of the problematic MB "
              "character is: \\xe2\\x82\\xac. It is 2 bytes away from the beginning of the input string Its unicode "
              "hexadecimal representation is \\x20ac.\n");
}

TEST(UcnvErrorHandler, OverflowIsOkButNotTotallyOk) {
    struct Row {
        UErrorCode code;
        bool ok, total_ok, next;
    };
    const Row rows[] = {
        {U_ZERO_ERROR, true, true, false},
        {U_STRING_NOT_TERMINATED_WARNING, true, true, false},
        {U_BUFFER_OVERFLOW_ERROR, true, false, true},
        {U_INVALID_CHAR_FOUND, false, false, false},
        {U_TRUNCATED_CHAR_FOUND, false, false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(u_errorName(row.code));
        i18n::UcnvErrorHandler status;
        EXPECT_TRUE(status.ucnv_is_total_ok());
        *status.ucnv_code() = row.code;
        i18n::UcnvErrorHandler copy(status);
        EXPECT_EQ(copy.ucnv_is_ok(), row.ok);
        EXPECT_EQ(copy.ucnv_is_total_ok(), row.total_ok);
        EXPECT_EQ(copy.has_next(), row.next);
        copy.ucnv_set_ok();
        EXPECT_EQ(copy.get_code(), U_ZERO_ERROR);
    }
}

struct Flagged : i18n::Error {};

TEST(Error, StaysSetAndCopies) {
    Flagged flag;
    EXPECT_TRUE(flag.is_ok());
    flag.set_error();
    Flagged copy(flag);
    EXPECT_TRUE(copy.is_error());
    EXPECT_FALSE(copy.is_ok());
    Flagged other;
    other = copy;
    EXPECT_TRUE(other.is_error());
}

TEST(BegEnd, MovesAndMeasures) {
    i18n::BegEnd empty;
    EXPECT_EQ(empty.begin(), 0);
    EXPECT_EQ(empty.size(), 0);
    i18n::BegEnd range(3, 10);
    range.add(5);
    EXPECT_EQ(range.begin(), 8);
    EXPECT_EQ(range.end(), 15);
    EXPECT_EQ(range.size(), 7);
    i18n::BegEnd open(2, -1);
    open.add(4);
    EXPECT_EQ(open.begin(), 6);
    EXPECT_EQ(open.end(), -1);
    i18n::BegEnd copy = range;
    EXPECT_EQ(copy.size(), 7);
}

}  // namespace
