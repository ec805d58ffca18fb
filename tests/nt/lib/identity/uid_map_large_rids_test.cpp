// Uids with LargeRIDs set (tests/machines/large_rids.toml): primary (WIDE)
// and trusted (PARTNER) uids move up by the RID shift of 4 and take RIDs up
// to 0xFFFFFF; builtin and account uids stay where they were.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "area_test_support.h"
#include "domain_test_support.h"
#include "nt.h"
#include "ntregy.h"
#include "ntx.h"

namespace {

using quarn::test::account_domain_text;
using quarn::test::Sid;
using quarn::test::sid_text;

constexpr int kLargeRids = 41;
const std::string kWide = "S-1-5-21-1212121212-3434343434-565656565";
const std::string kPartner = "S-1-5-21-10-20-30";
const std::string kOldNt = "S-1-5-21-40-50-60";

class LargeRidUids : public testing::Test {
protected:
    static void SetUpTestSuite() {
        DWORD one = 1;
        ASSERT_EQ(ntregy_set_param(kLargeRids, &one, nullptr), 0);
        quarn::test::use_host_data();
        nt_init();
    }
};

TEST_F(LargeRidUids, SidsToUidsAndBack) {
    struct Case {
        std::string sid;
        DWORD uid;
    } cases[] = {
        {kWide + "-1105", 0x1000451},
        {kWide + "-1048576", 0x1100000},  // past the mask of shift 0
        {kWide + "-16777215", 0x1FFFFFF},
        {kPartner + "-16777215", 0x2FFFFFF},
        {kPartner + "-1300", 0x2000514},
        {account_domain_text() + "-1000", 0x303E8},
        {"S-1-5-32-544", 0x20220},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        Sid sid(c.sid);
        EXPECT_EQ(nt_sid_to_uid(sid.p), c.uid);
        PSID back = nullptr;
        ASSERT_EQ(ntx_uid_to_sid(c.uid, &back), 0);
        EXPECT_EQ(sid_text(back), c.sid);
        std::free(back);
    }
}

TEST_F(LargeRidUids, RidsPastTheWideMaskAndTrustsWithoutOffsetHaveNoUid) {
    for (const std::string &text : {kWide + "-16777216", kPartner + "-16777216", kOldNt + "-1000"}) {
        SCOPED_TRACE(text);
        Sid sid(text);
        EXPECT_EQ(nt_sid_to_uid(sid.p), NT_NO_UID);
    }
}

TEST_F(LargeRidUids, UnshiftedPrimaryUidsNameNoSid) {
    for (DWORD uid : {0x100451u, 0x1FFFFFu, 0x200514u}) {
        SCOPED_TRACE(uid);
        PSID sid = reinterpret_cast<PSID>(static_cast<uintptr_t>(0xdeadbeef));
        EXPECT_EQ(ntx_uid_to_sid(uid, &sid), -1);
        EXPECT_EQ(sid, reinterpret_cast<PSID>(static_cast<uintptr_t>(0xdeadbeef)));
    }
}

}  // namespace
