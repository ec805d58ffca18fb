// Uids of SIDs and SIDs of uids on the member profile (tests/machines/
// member.toml): the builtin, account, primary (CORP) and trusted domains
// (SALES with the POSIX offset 0x200000, LEGACY without one), the RID masks,
// and the machine-wide "Sid->Uid" table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "area_test_support.h"
#include "domain_test_support.h"
#include "identity/identity_caches.h"
#include "nt.h"
#include "ntx.h"

namespace {

using quarn::test::account_domain_text;
using quarn::test::Sid;
using quarn::test::sid_text;

const std::string kCorp = "S-1-5-21-1111111111-2222222222-3333333333";
const std::string kSales = "S-1-5-21-444444444-555555555-666666666";
const std::string kLegacy = "S-1-5-21-777777777-888888888-999999999";

class UidMap : public testing::Test {
protected:
    static void SetUpTestSuite() {
        quarn::test::use_host_data();
        nt_init();
    }
};

struct UidCase {
    std::string sid;
    DWORD uid;
};

TEST_F(UidMap, SidsToUids) {
    const UidCase cases[] = {
        {account_domain_text() + "-1000", 0x303E8},
        {account_domain_text() + "-65535", 0x3FFFF},
        {account_domain_text() + "-65536", NT_NO_UID},  // above the account domain's mask
        {"S-1-5-32-544", 0x20220},
        {"S-1-5-32-65535", 0x2FFFF},
        {"S-1-5-32-65536", NT_NO_UID},
        {kCorp + "-1105", 0x100451},
        {kCorp + "-1048575", 0x1FFFFF},  // the RID at the mask
        {kCorp + "-1048576", NT_NO_UID},
        {kSales + "-1300", 0x200514},
        {kLegacy + "-1010", NT_NO_UID},  // a trust without a POSIX offset
        {"S-1-5-21-9-9-9-1000", NT_NO_UID},  // a domain nobody knows
        {"S-1-5-18", NT_NO_UID},             // not an account SID
        {"S-1-1-0", NT_NO_UID},
        {"S-1-5-32", NT_NO_UID},  // a domain, not an account
        {"S-1-5", NT_NO_UID},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        Sid sid(c.sid);
        EXPECT_EQ(nt_sid_to_uid(sid.p), c.uid);
        EXPECT_EQ(nt_sid_to_uid(sid.p), c.uid) << "answered again from the table";
    }
}

TEST_F(UidMap, NullAndInvalidSidsHaveNoUid) {
    EXPECT_EQ(nt_sid_to_uid(nullptr), NT_NO_UID);
    BYTE bad[12] = {7, 1, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0};  // revision 7
    EXPECT_EQ(nt_sid_to_uid(bad), NT_NO_UID);
}

TEST_F(UidMap, TheCallersSidIsNotChanged) {
    Sid sid(kCorp + "-1105");
    BYTE before[NTX_SID_SIZE];
    std::memcpy(before, sid.p, GetLengthSid(sid.p));
    nt_sid_to_uid(sid.p);
    EXPECT_EQ(std::memcmp(before, sid.p, GetLengthSid(sid.p)), 0);
    EXPECT_EQ(*GetSidSubAuthorityCount(sid.p), 5);
}

TEST_F(UidMap, UidsToSids) {
    const UidCase cases[] = {
        {account_domain_text() + "-1000", 0x303E8},
        {account_domain_text() + "-65535", 0x3FFFF},
        {"S-1-5-32-544", 0x20220},
        {"S-1-5-32-0", 0x20000},
        {kCorp + "-1105", 0x100451},
        {kCorp + "-1048575", 0x1FFFFF},
        {kSales + "-1300", 0x200514},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        PSID sid = reinterpret_cast<PSID>(static_cast<uintptr_t>(0xdeadbeef));
        ASSERT_EQ(ntx_uid_to_sid(c.uid, &sid), 0);
        EXPECT_EQ(sid_text(sid), c.sid);
        EXPECT_EQ(nt_sid_to_uid(sid), c.uid) << "both ways";
        std::free(sid);
    }
}

TEST_F(UidMap, UidsWithoutADomainHaveNoSid) {
    for (DWORD uid : {0x10000u, 0x40000u, NT_NO_UID, 0u, 0xFFFFu, 0x50000u, 0x300000u, 0xFFF00000u}) {
        SCOPED_TRACE(uid);
        PSID sid = reinterpret_cast<PSID>(static_cast<uintptr_t>(0xdeadbeef));
        EXPECT_EQ(ntx_uid_to_sid(uid, &sid), -1);
        EXPECT_EQ(sid, reinterpret_cast<PSID>(static_cast<uintptr_t>(0xdeadbeef))) << "nothing stored";
    }
    EXPECT_EQ(ntx_uid_to_sid(0x303E8, nullptr), -1);
}

// The "Sid->Uid" entry of a SID zero-padded to its 68-byte key, or the poison.
DWORD table_entry(PSID sid) {
    BYTE key[kSidSize] = {};
    std::memcpy(key, sid, GetLengthSid(sid));
    DWORD uid = 0xdeadbeef;
    unsigned int size = sizeof uid;
    return phash_lookup(nt_sid_uid_cache, key, &uid, &size) ? uid : 0xdeadbeef;
}

TEST_F(UidMap, OnlyUidsAreEnteredInTheTable) {
    ASSERT_NE(nt_sid_uid_cache, nullptr);
    // 15 sub-authorities fill the key exactly
    BYTE longest[kSidSize] = {};
    SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
    ASSERT_TRUE(InitializeSid(longest, &nt, 15));
    for (int i = 0; i < 15; ++i) *GetSidSubAuthority(longest, i) = i == 0 ? 21 : i;
    ASSERT_EQ(GetLengthSid(longest), kSidSize);
    Sid bob(kCorp + "-1106"), dave(kLegacy + "-1010");
    struct Case {
        const char *label;
        PSID sid;
        DWORD uid, entry;
    } cases[] = {
        {"CORP\\bob", bob.p, 0x100452, 0x100452},
        {"LEGACY\\dave", dave.p, NT_NO_UID, 0xdeadbeef},
        {"longest", longest, NT_NO_UID, 0xdeadbeef},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(table_entry(c.sid), 0xdeadbeefu) << "not there before";
        EXPECT_EQ(nt_sid_to_uid(c.sid), c.uid);
        EXPECT_EQ(table_entry(c.sid), c.entry);
    }
}

}  // namespace
