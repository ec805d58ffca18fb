// Domain offsets with LargeRIDs set (tests/machines/large_rids.toml): the
// primary and trusted offsets move up by the RID shift of 4, the builtin and
// account domains and the marker of a trust without an offset do not.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "domain_test_support.h"
#include "identity/domains.h"
#include "machine/machine.h"
#include "nt.h"
#include "ntregy.h"
#include "wnet.h"

namespace {

constexpr int kLargeRids = 41;
constexpr const char *kWide = "S-1-5-21-1212121212-3434343434-565656565";
constexpr const char *kPartner = "S-1-5-21-10-20-30";
constexpr const char *kOldNt = "S-1-5-21-40-50-60";

class LargeRids : public testing::Test {
public:
    static void SetUpTestSuite() {
        DWORD one = 1;
        if (geteuid() == 0) ASSERT_EQ(ntregy_set_param(kLargeRids, &one, nullptr), 0);
    }

protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "only root writes the machine's settings";
    }
};

TEST_F(LargeRids, TheShiftIsReadOnce) {
    EXPECT_EQ(ntx_large_rid_shift(), 4);
    DWORD zero = 0;
    ASSERT_EQ(ntregy_set_param(kLargeRids, &zero, nullptr), 0);
    EXPECT_EQ(ntx_large_rid_shift(), 4);
    DWORD one = 1;
    ASSERT_EQ(ntregy_set_param(kLargeRids, &one, nullptr), 0);
}

TEST_F(LargeRids, ClassesAndShiftedBases) {
    quarn::test::expect_classes({
        {"S-1-5-32", NTX_DOMAIN_BUILTIN, 0x20000},
        {kWide, NTX_DOMAIN_PRIMARY, 0x1000000},
        {quarn::test::account_domain_text(), NTX_DOMAIN_ACCOUNT, 0x30000},
        {kPartner, NTX_DOMAIN_TRUSTED, 0x2000000},
        {kOldNt, NTX_DOMAIN_TRUSTED_NO_OFFSET, quarn::test::kPoisonBase},
    });
}

TEST_F(LargeRids, OffsetsBothWays) {
    struct Case {
        const char *sid;
        DWORD shifted;
        const char *name;
        DWORD stored;
    } cases[] = {
        {"S-1-5-32", 0x20000, "BUILTIN", 0x2000},
        {kWide, 0x1000000, "WIDE", 0x100000},
        {kPartner, 0x2000000, "PARTNER", 0x200000},
        {kOldNt, 0xFFFF0, "OLDNT", 0xFFFF},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        quarn::test::Sid sid(c.sid);
        ntx_sid_tpo_value *value = nullptr;
        EXPECT_EQ(ntx_sid_to_tpo(sid.p, &value), c.shifted);
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(value->name, c.name);
        if (std::string(c.name) != "BUILTIN") EXPECT_EQ(value->offset, c.stored);
    }
    ntx_tpo_sid_value *value = nullptr;
    EXPECT_EQ(quarn::test::sid_text(ntx_tpo_to_sid(0x2000000, &value)), kPartner);
    EXPECT_STREQ(value->name, "PARTNER");
    EXPECT_EQ(ntx_tpo_to_sid(0x200000, nullptr), nullptr) << "the unshifted offset found the trust";
    EXPECT_EQ(quarn::test::sid_text(ntx_primary_domain_sid()), kWide);
}

TEST_F(LargeRids, TheTrustsAreReadOverANullSession) {
    ntx_tpo_db *db = ntx_get_tpo_db_from_lsa();
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(db->count, 2);
    EXPECT_STREQ(db->entries[0].name, "PARTNER");
    EXPECT_EQ(db->entries[0].offset, 0x200000u) << "offsets are kept unshifted";
    EXPECT_STREQ(db->entries[1].name, "OLDNT");
    EXPECT_EQ(db->entries[1].offset, NTX_NO_POSIX_OFFSET);
    EXPECT_EQ(WNetCancelConnection2A("\\\\WIDEDC\\IPC$", 0, TRUE), ERROR_NOT_CONNECTED)
        << "the null session outlived the read";
}

}  // namespace
