// The machine-wide trusted-domain tables on the member profile: empty until
// the first fill, the marker and every domain after it, the same content
// after a second fill, seen by another process, not filled again for a key
// that is missing, and filled again once emptied.  Every test process has a
// prefix, and so tables, of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "area_test_support.h"
#include "child_process.h"
#include "domain_test_support.h"
#include "identity/domains.h"
#include "nt.h"
#include "identity/tpo_tables.h"

namespace {

constexpr const char *kCorp = "S-1-5-21-1111111111-2222222222-3333333333";
constexpr const char *kSales = "S-1-5-21-444444444-555555555-666666666";
constexpr const char *kLegacy = "S-1-5-21-777777777-888888888-999999999";

std::string dump() {
    testing::internal::CaptureStdout();
    ntx_dump_cache();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

using quarn::test::account_domain_text;

// The part of a dump that belongs to one table.
std::string table_part(const std::string &all, const std::string &name) {
    auto start = all.find(name + "\n");
    if (start == std::string::npos) return "";
    auto end = all.find("\n\n", start);
    return all.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
}

class TrustedDomainTables : public testing::Test {
public:
    static void SetUpTestSuite() { quarn::test::use_host_data(); }

protected:
    void SetUp() override {
        if (!ntx_sid_tpo_table() || !ntx_tpo_sid_table()) GTEST_SKIP() << "the shared tables cannot be opened";
    }
};

TEST_F(TrustedDomainTables, EmptyBeforeTheFirstFill) {
    EXPECT_EQ(dump(), "Sid->Tpo\n    Empty\n\nTpo->Sid\n    Empty\n\n");
}

TEST_F(TrustedDomainTables, AFillEntersTheMarkerAndEveryDomain) {
    EXPECT_EQ(ntx_set_cached_tpo_db(), 1);
    std::string all = dump();
    std::string by_sid = table_part(all, "Sid->Tpo"), by_offset = table_part(all, "Tpo->Sid");
    for (const std::string &line : {std::string("    S-1-0-0 -> Invalid: 0x0000ffff\n"),
                                    std::string("    ") + kCorp + " -> CORP: 0x00100000\n",
                                    "    " + account_domain_text() + " -> WS01: 0x00030000\n",
                                    std::string("    ") + kSales + " -> SALES: 0x00200000\n",
                                    std::string("    ") + kLegacy + " -> LEGACY: 0x0000ffff\n"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(by_sid.find(line), std::string::npos) << all;
    }
    for (const std::string &line : {std::string("    0x0000ffff -> Invalid: S-1-0-0\n"),
                                    std::string("    0x00100000 -> CORP: ") + kCorp + "\n",
                                    "    0x00030000 -> WS01: " + account_domain_text() + "\n",
                                    std::string("    0x00200000 -> SALES: ") + kSales + "\n"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(by_offset.find(line), std::string::npos) << all;
    }
    EXPECT_EQ(by_offset.find("LEGACY"), std::string::npos) << "a trust without an offset was entered by offset";
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1 + 5 + 1 + 1 + 4 + 1);
    EXPECT_EQ(ntx_set_cached_tpo_db(), 1);
    EXPECT_EQ(dump(), all) << "a second fill changed the tables";
}

TEST_F(TrustedDomainTables, ASecondProcessReadsWhatTheFirstEntered) {
    ASSERT_EQ(ntx_set_cached_tpo_db(), 1);
    std::string mine = dump();
    ASSERT_NE(mine.find(kSales), std::string::npos);
    auto child = quarn::test::run_child({QUARN_DOMAIN_HELPER, "dump"});
    EXPECT_EQ(child.exit_code, 0) << child.err;
    EXPECT_EQ(child.out, mine);
    child = quarn::test::run_child({QUARN_DOMAIN_HELPER, "tpo-to-sid", "0x200000"});
    EXPECT_EQ(child.out, std::string(kSales) + ": SALES\n");
    child = quarn::test::run_child({QUARN_DOMAIN_HELPER, "tpo-to-sid", "0x100000"});
    EXPECT_EQ(child.out, std::string(kCorp) + ": CORP\n");
}

TEST_F(TrustedDomainTables, AKeyMissingFromFilledTablesIsNotFilledAgain) {
    ASSERT_EQ(ntx_set_cached_tpo_db(), 1);
    PSID sales = nullptr;
    ASSERT_EQ(nt_str_to_sid(kSales, &sales), 0);
    BYTE key[NTX_SID_SIZE] = {};
    CopySid(sizeof key, key, sales);
    ASSERT_EQ(phash_delete(ntx_sid_tpo_table(), key), 1);
    ntx_sid_tpo_value *value = nullptr;
    EXPECT_EQ(ntx_sid_to_tpo(sales, &value), 0x200000u) << "the process's own list no longer answers";
    EXPECT_STREQ(value->name, "SALES");
    EXPECT_EQ(table_part(dump(), "Sid->Tpo").find(kSales), std::string::npos) << "the tables were filled again";
    FreeSid(sales);
}

TEST_F(TrustedDomainTables, EmptiedTablesAreFilledByTheNextLookUp) {
    ASSERT_EQ(ntx_set_cached_tpo_db(), 1);
    ASSERT_EQ(phash_flush_global_tables(), 1);
    EXPECT_EQ(dump(), "Sid->Tpo\n    Empty\n\nTpo->Sid\n    Empty\n\n");
    PSID unknown = nullptr;
    ASSERT_EQ(nt_str_to_sid("S-1-5-21-9-9-9", &unknown), 0);
    EXPECT_EQ(ntx_sid_to_tpo(unknown, nullptr), 0u);
    FreeSid(unknown);
    std::string all = dump();
    EXPECT_NE(table_part(all, "Sid->Tpo").find(kSales), std::string::npos) << all;
    EXPECT_NE(table_part(all, "Tpo->Sid").find("Invalid"), std::string::npos) << all;
}

}  // namespace
