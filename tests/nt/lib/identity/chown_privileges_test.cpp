// The chown and driver privileges on a token that holds take-ownership and
// restore: enabling with a saved state, twice, restoring, and a user who
// holds neither, whose token is left as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "advapi32/token_object.h"
#include "machine/local_accounts.h"
#include "nt.h"

namespace {

// "name:E" or "name:-" for each privilege of the current process token.
std::string privileges() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "<none>";
    DWORD needed = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &needed);
    std::vector<BYTE> bytes(needed);
    GetTokenInformation(token, TokenPrivileges, bytes.data(), needed, &needed);
    CloseHandle(token);
    auto *p = reinterpret_cast<TOKEN_PRIVILEGES *>(bytes.data());
    std::string out;
    for (DWORD i = 0; i < p->PrivilegeCount; ++i) {
        char name[64];
        DWORD length = sizeof name;
        LookupPrivilegeNameA(nullptr, &p->Privileges[i].Luid, name, &length);
        out += std::string(name) + (p->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED ? ":E " : ":- ");
    }
    return out;
}

// Turns every privilege of the process token off, so that enabling has something to do.
void disable_all() {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    ASSERT_TRUE(AdjustTokenPrivileges(token, TRUE, nullptr, 0, nullptr, nullptr));
    CloseHandle(token);
    nt_revert_to_self();  // the identity flush: the answers kept so far are stale
}

struct Saved {
    BYTE bytes[NT_SAVED_PRIVILEGES_SIZE + 16];
    Saved() { std::memset(bytes, 0xCC, sizeof bytes); }
    DWORD count() const { return reinterpret_cast<const TOKEN_PRIVILEGES *>(bytes)->PrivilegeCount; }
    bool guard_intact() const {
        for (size_t i = NT_SAVED_PRIVILEGES_SIZE; i < sizeof bytes; ++i)
            if (bytes[i] != 0xCC) return false;
        return true;
    }
};

TEST(ChownPrivileges, EnableTwiceThenRestore) {
    disable_all();
    const std::string off = "SeTakeOwnershipPrivilege:- SeRestorePrivilege:- SeChangeNotifyPrivilege:- ";
    ASSERT_EQ(privileges(), off);
    EXPECT_EQ(nt_is_chown_privileged(), 1);
    Saved first, second;
    ASSERT_EQ(nt_enable_chown_privileges(first.bytes), 1);
    EXPECT_EQ(first.count(), 2u);
    EXPECT_TRUE(first.guard_intact());
    EXPECT_EQ(privileges(), "SeTakeOwnershipPrivilege:E SeRestorePrivilege:E SeChangeNotifyPrivilege:- ");
    ASSERT_EQ(nt_enable_chown_privileges(second.bytes), 1);
    EXPECT_EQ(second.count(), 0u) << "the second call changed nothing";
    nt_restore_chown_privileges(second.bytes);  // does nothing
    EXPECT_EQ(privileges(), "SeTakeOwnershipPrivilege:E SeRestorePrivilege:E SeChangeNotifyPrivilege:- ");
    nt_restore_chown_privileges(first.bytes);
    EXPECT_EQ(privileges(), off);
    nt_restore_chown_privileges(nullptr);
    EXPECT_EQ(nt_enable_chown_privileges(nullptr), 0);
}

TEST(ChownPrivileges, AlreadyEnabledWritesCountZero) {
    disable_all();
    Saved saved, again;
    ASSERT_EQ(nt_enable_chown_privileges(saved.bytes), 1);
    nt_revert_to_self();  // the check now finds both enabled
    ASSERT_EQ(nt_enable_chown_privileges(again.bytes), 1);
    EXPECT_EQ(again.count(), 0u);
    nt_restore_chown_privileges(saved.bytes);
}

TEST(ChownPrivileges, TheDriverPrivilege) {
    disable_all();
    Saved saved;
    EXPECT_EQ(nt_enable_kelfs_privs(saved.bytes), 1);
    EXPECT_EQ(saved.count(), 1u);
    EXPECT_EQ(privileges(), "SeTakeOwnershipPrivilege:E SeRestorePrivilege:- SeChangeNotifyPrivilege:- ");
    nt_disable_kelfs_privs(saved.bytes);
    EXPECT_EQ(privileges(), "SeTakeOwnershipPrivilege:- SeRestorePrivilege:- SeChangeNotifyPrivilege:- ");
}

TEST(ChownPrivileges, AUserWithoutThemIsLeftAlone) {
    if (!quarn::win32::local_user_named("daemon")) GTEST_SKIP() << "no daemon account";
    HANDLE daemon = nullptr;
    ASSERT_TRUE(quarn::win32::logon_account("daemon", &daemon));
    ASSERT_TRUE(ImpersonateLoggedOnUser(daemon));
    nt_impersonate_user();
    auto read = [] {
        HANDLE token = nullptr;
        OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
        DWORD needed = 0;
        GetTokenInformation(token, TokenPrivileges, nullptr, 0, &needed);
        std::vector<BYTE> bytes(needed);
        GetTokenInformation(token, TokenPrivileges, bytes.data(), needed, &needed);
        CloseHandle(token);
        return bytes;
    };
    auto before = read();
    Saved saved;
    EXPECT_EQ(nt_is_chown_privileged(), 0);
    EXPECT_EQ(nt_enable_chown_privileges(saved.bytes), 0);
    EXPECT_EQ(saved.bytes[0], 0xCC) << "the saved state was written";
    EXPECT_EQ(nt_enable_kelfs_privs(saved.bytes), 0);
    EXPECT_EQ(read(), before);
    RevertToSelf();
    nt_revert_to_self();
    CloseHandle(daemon);
    EXPECT_EQ(nt_is_chown_privileged(), 1) << "the flush forgot the impersonated answer";
}

}  // namespace
