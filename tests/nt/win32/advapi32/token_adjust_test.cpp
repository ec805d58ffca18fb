// Changing tokens: AdjustTokenPrivileges with its previous state and its
// errors, PrivilegeCheck on impersonation tokens only, SetTokenInformation
// for the primary group, and the privilege names.  The tokens are logon
// tokens of a Linux account, so the test does not depend on who runs it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "advapi32/token_object.h"
#include "machine/local_accounts.h"
#include "win32.h"

using namespace quarn::win32;

namespace {

constexpr DWORD kPoisonWord = 0xDEADBEEF;

LUID privilege(const char *name) {
    LUID luid{kPoisonWord, 0};
    EXPECT_TRUE(LookupPrivilegeValueA(nullptr, name, &luid)) << name;
    return luid;
}

// The attributes of `luid` in the token, or kPoisonWord when it is not held.
DWORD state_of(HANDLE token, LUID luid) {
    DWORD needed = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &needed);
    std::vector<BYTE> bytes(needed);
    EXPECT_TRUE(GetTokenInformation(token, TokenPrivileges, bytes.data(), needed, &needed));
    auto *p = reinterpret_cast<TOKEN_PRIVILEGES *>(bytes.data());
    for (DWORD i = 0; i < p->PrivilegeCount; ++i)
        if (p->Privileges[i].Luid.LowPart == luid.LowPart) return p->Privileges[i].Attributes;
    return kPoisonWord;
}

// A logon token of an ordinary Linux account, opened with every right.
class OrdinaryToken : public testing::Test {
protected:
    void SetUp() override {
        if (!local_user_named("daemon")) GTEST_SKIP() << "no daemon account";
        ASSERT_TRUE(logon_account("daemon", &token));
    }
    void TearDown() override {
        if (token) CloseHandle(token);
    }
    HANDLE token = nullptr;
};

struct OneChange {
    DWORD count = 1;
    LUID_AND_ATTRIBUTES entry;
};

TEST_F(OrdinaryToken, EnablingRecordsOnlyWhatChanged) {
    LUID shutdown = privilege("SeShutdownPrivilege");
    ASSERT_EQ(state_of(token, shutdown) & SE_PRIVILEGE_ENABLED, 0u);
    OneChange on{1, {shutdown, SE_PRIVILEGE_ENABLED}};
    BYTE saved[388 + 16];
    std::memset(saved, 0xCC, sizeof saved);
    DWORD length = kPoisonWord;
    SetLastError(kPoisonWord);
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&on), 388,
                                      reinterpret_cast<PTOKEN_PRIVILEGES>(saved), &length));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    auto *previous = reinterpret_cast<TOKEN_PRIVILEGES *>(saved);
    ASSERT_EQ(previous->PrivilegeCount, 1u);
    EXPECT_EQ(previous->Privileges[0].Luid.LowPart, shutdown.LowPart);
    EXPECT_EQ(previous->Privileges[0].Attributes & SE_PRIVILEGE_ENABLED, 0u);
    EXPECT_EQ(length, sizeof(DWORD) + sizeof(LUID_AND_ATTRIBUTES));
    EXPECT_EQ(saved[length], 0xCC) << "written past the previous state";
    EXPECT_NE(state_of(token, shutdown) & SE_PRIVILEGE_ENABLED, 0u);

    // Enabling again changes nothing, so nothing is recorded.
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&on), 388,
                                      reinterpret_cast<PTOKEN_PRIVILEGES>(saved), &length));
    EXPECT_EQ(previous->PrivilegeCount, 0u);

    // The first previous state undoes the change.
    OneChange undo{1, {shutdown, 0}};
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&undo), 0, nullptr, nullptr));
    EXPECT_EQ(state_of(token, shutdown) & SE_PRIVILEGE_ENABLED, 0u);
}

TEST_F(OrdinaryToken, APrivilegeNotHeldIsNeverGranted) {
    LUID take = privilege("SeTakeOwnershipPrivilege"), shutdown = privilege("SeShutdownPrivilege");
    ASSERT_EQ(state_of(token, take), kPoisonWord);
    struct {
        DWORD count = 2;
        LUID_AND_ATTRIBUTES entries[2];
    } both{2, {{take, SE_PRIVILEGE_ENABLED}, {shutdown, SE_PRIVILEGE_ENABLED}}};
    BYTE saved[388];
    DWORD length = 0;
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&both), sizeof saved,
                                      reinterpret_cast<PTOKEN_PRIVILEGES>(saved), &length));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ALL_ASSIGNED);
    EXPECT_EQ(state_of(token, take), kPoisonWord);
    EXPECT_NE(state_of(token, shutdown) & SE_PRIVILEGE_ENABLED, 0u) << "the held one is still enabled";
    EXPECT_EQ(reinterpret_cast<TOKEN_PRIVILEGES *>(saved)->PrivilegeCount, 1u);
}

TEST_F(OrdinaryToken, TooSmallAPreviousStateChangesNothing) {
    LUID shutdown = privilege("SeShutdownPrivilege");
    OneChange on{1, {shutdown, SE_PRIVILEGE_ENABLED}};
    BYTE saved[sizeof(DWORD)];
    DWORD length = 0;
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&on), sizeof saved,
                                       reinterpret_cast<PTOKEN_PRIVILEGES>(saved), &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, sizeof(DWORD) + sizeof(LUID_AND_ATTRIBUTES));
    EXPECT_EQ(state_of(token, shutdown) & SE_PRIVILEGE_ENABLED, 0u);
}

TEST_F(OrdinaryToken, AdjustingNeedsTheRight) {
    HANDLE query = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(token, TOKEN_QUERY, nullptr, SecurityImpersonation, TokenPrimary, &query));
    OneChange on{1, {privilege("SeShutdownPrivilege"), SE_PRIVILEGE_ENABLED}};
    EXPECT_FALSE(AdjustTokenPrivileges(query, FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&on), 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    TOKEN_PRIMARY_GROUP group{nullptr};
    EXPECT_FALSE(SetTokenInformation(query, TokenPrimaryGroup, &group, sizeof group));
    CloseHandle(query);
}

TEST_F(OrdinaryToken, DisableAllTurnsOffWhatWasOn) {
    LUID notify = privilege("SeChangeNotifyPrivilege");
    ASSERT_NE(state_of(token, notify) & SE_PRIVILEGE_ENABLED, 0u);
    BYTE saved[388];
    DWORD length = 0;
    ASSERT_TRUE(AdjustTokenPrivileges(token, TRUE, nullptr, sizeof saved, reinterpret_cast<PTOKEN_PRIVILEGES>(saved),
                                      &length));
    EXPECT_EQ(state_of(token, notify) & SE_PRIVILEGE_ENABLED, 0u);
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(saved), 0, nullptr, nullptr));
    EXPECT_NE(state_of(token, notify) & SE_PRIVILEGE_ENABLED, 0u);
}

TEST_F(OrdinaryToken, PrivilegeCheckWantsAnImpersonationToken) {
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {{privilege("SeChangeNotifyPrivilege"), 0}}};
    BOOL result = 7;
    EXPECT_FALSE(PrivilegeCheck(token, &set, &result));
    EXPECT_EQ(GetLastError(), ERROR_NO_IMPERSONATION_TOKEN);
    HANDLE client = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(token, TOKEN_QUERY, nullptr, SecurityIdentification, TokenImpersonation, &client));
    ASSERT_TRUE(PrivilegeCheck(client, &set, &result));
    EXPECT_TRUE(result);
    EXPECT_NE(set.Privilege[0].Attributes & SE_PRIVILEGE_USED_FOR_ACCESS, 0u);
    set.Privilege[0] = {privilege("SeShutdownPrivilege"), 0};  // held, disabled
    ASSERT_TRUE(PrivilegeCheck(client, &set, &result));
    EXPECT_FALSE(result);
    EXPECT_EQ(set.Privilege[0].Attributes & SE_PRIVILEGE_USED_FOR_ACCESS, 0u);
    CloseHandle(client);
}

TEST_F(OrdinaryToken, ThePrimaryGroupMustBeOneOfTheTokens) {
    DWORD needed = 0;
    GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
    std::vector<BYTE> bytes(needed);
    ASSERT_TRUE(GetTokenInformation(token, TokenGroups, bytes.data(), needed, &needed));
    auto *groups = reinterpret_cast<TOKEN_GROUPS *>(bytes.data());
    PSID users = nullptr;  // BUILTIN\Users: in every logon token, never its primary group
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (SidValue::copy_of(groups->Groups[i].Sid) == SidValue(5, {32, 545})) users = groups->Groups[i].Sid;
    ASSERT_NE(users, nullptr);
    TOKEN_PRIMARY_GROUP change{users};
    ASSERT_TRUE(SetTokenInformation(token, TokenPrimaryGroup, &change, sizeof change)) << GetLastError();
    BYTE answer[128];
    ASSERT_TRUE(GetTokenInformation(token, TokenPrimaryGroup, answer, sizeof answer, &needed));
    EXPECT_TRUE(EqualSid(reinterpret_cast<TOKEN_PRIMARY_GROUP *>(answer)->PrimaryGroup, users));

    SidValue stranger(5, {21, 9, 9, 9, 1234});
    change.PrimaryGroup = stranger.get();
    EXPECT_FALSE(SetTokenInformation(token, TokenPrimaryGroup, &change, sizeof change));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PRIMARY_GROUP);
    EXPECT_FALSE(SetTokenInformation(token, TokenPrimaryGroup, &change, sizeof change - 1));
    EXPECT_EQ(GetLastError(), ERROR_BAD_LENGTH);
}

TEST(PrivilegeNames, BothWaysWithWindowsBufferRules) {
    LUID luid = privilege("SeRestorePrivilege");
    char name[64];
    std::memset(name, 0xCC, sizeof name);
    DWORD length = 5;
    EXPECT_FALSE(LookupPrivilegeNameA(nullptr, &luid, name, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, std::strlen("SeRestorePrivilege"));
    EXPECT_EQ(static_cast<BYTE>(name[0]), 0xCC);
    length = sizeof name;
    ASSERT_TRUE(LookupPrivilegeNameA(nullptr, &luid, name, &length));
    EXPECT_STREQ(name, "SeRestorePrivilege");
    EXPECT_EQ(length, std::strlen(name));
    EXPECT_EQ(static_cast<BYTE>(name[length + 1]), 0xCC);
    LUID unknown{9999, 0};
    length = sizeof name;
    EXPECT_FALSE(LookupPrivilegeNameA(nullptr, &unknown, name, &length));
    EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
}

}  // namespace
