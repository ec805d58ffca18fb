// libquarnks: catalogued messages on standard error, assertion reports, and the
// string tables with copied keys and stable slots.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "capture.h"
#include "ks.h"

namespace {

using i18n_test::stderr_of;

const char *const kTexts[] = {"plain %s", "two\nlines %d\n", "count %d of %u"};
const uint16_t kNumbers[] = {7, 8, 9};
const imsg_table_t kTable = {"test_lib", "tst", 3, 3, kTexts, kNumbers};

TEST(ImsgPrint, PrintsOneLineWithShortNameAndNumber) {
    struct Row {
        const char *label;
        std::function<int()> print;
        const char *expected;
    };
    const Row rows[] = {
        {"string argument", [] { return imsg_print(6, &kTable, 0, "word"); }, "tst-7: plain word\n"},
        {"inner line breaks", [] { return imsg_print(6, &kTable, 1, 42); }, "tst-8: two lines 42\n"},
        {"several arguments", [] { return imsg_print(6, &kTable, 2, -1, 5u); }, "tst-9: count -1 of 5\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        int result = 0;
        std::string printed = stderr_of([&] { result = row.print(); });
        EXPECT_EQ(printed, row.expected);
        EXPECT_EQ(result, static_cast<int>(std::strlen(row.expected)));
    }
}

TEST(ImsgPrint, RefusesAnIndexOutsideTheCatalogue) {
    std::string printed = stderr_of([] {
        EXPECT_EQ(imsg_print(6, &kTable, 3), -1);
        EXPECT_EQ(imsg_print(6, &kTable, -1), -1);
        EXPECT_EQ(imsg_print(6, nullptr, 0), -1);
    });
    EXPECT_EQ(printed, "");
}

TEST(PfmAssertFail, ReportsExpressionFileAndLineAndReturns) {
    std::string printed = stderr_of([] { pfm_assert_fail("x > 0", "lib\\i18n\\i18n_mime_utils", 99); });
    EXPECT_EQ(printed, "assertion failed: x > 0, file lib\\i18n\\i18n_mime_utils, line 99\n");
}

TEST(HashStr, KeysAreCopiedOnEntry) {
    // Tables live for the process, as the library's own do.
    static hash_str_t table = hash_str_create(200, 4, 0);
    ASSERT_NE(table, nullptr);
    char key[] = "transient";
    void **slot = nullptr;
    EXPECT_EQ(hash_str_enter(table, key, nullptr, &slot), 1);
    *slot = key;
    std::memset(key, 'x', sizeof key - 1);
    void **found = nullptr;
    ASSERT_NE(hash_str_lookup(table, "transient", nullptr, &found), 0);
    EXPECT_EQ(found, slot);
    EXPECT_EQ(hash_str_lookup(table, key, nullptr, &found), 0);
}

TEST(HashStr, SlotsStayWhereTheyAreAsTheTableGrows) {
    // Tables live for the process, as the library's own do.
    static hash_str_t table = hash_str_create(200, 4, 0);
    std::vector<void **> slots;
    for (int i = 0; i < 5000; ++i) {
        void **slot = nullptr;
        hash_str_enter(table, std::to_string(i).c_str(), nullptr, &slot);
        *slot = reinterpret_cast<void *>(static_cast<intptr_t>(i + 1));
        slots.push_back(slot);
    }
    for (int i = 0; i < 5000; i += 97) {
        SCOPED_TRACE(i);
        void **slot = nullptr;
        ASSERT_NE(hash_str_lookup(table, std::to_string(i).c_str(), nullptr, &slot), 0);
        EXPECT_EQ(slot, slots[static_cast<size_t>(i)]);
        EXPECT_EQ(*slot, reinterpret_cast<void *>(static_cast<intptr_t>(i + 1)));
    }
}

TEST(HashStr, EnteringAKeyAgainGivesItsSlot) {
    // Tables live for the process, as the library's own do.
    static hash_str_t table = hash_str_create(200, 4, 0);
    void **first = nullptr;
    void **second = nullptr;
    EXPECT_EQ(hash_str_enter(table, "Key", nullptr, &first), 1);
    *first = &first;
    EXPECT_EQ(hash_str_enter(table, "Key", nullptr, &second), 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(*second, &first);
    // Keys match by their exact characters.
    EXPECT_EQ(hash_str_lookup(table, "key", nullptr, &second), 0);
}

}  // namespace
