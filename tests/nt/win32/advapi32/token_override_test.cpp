// The process token as machine.toml's [token] spells it out
// (tests/machines/token_override.toml).
#include <gtest/gtest.h>

#include <vector>

#include "advapi32/token_object.h"
#include "win32.h"

using namespace quarn::win32;

namespace {

std::vector<BYTE> read_class(HANDLE token, TOKEN_INFORMATION_CLASS c) {
    DWORD needed = 0;
    GetTokenInformation(token, c, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed, 0xCC);
    EXPECT_TRUE(GetTokenInformation(token, c, buffer.data(), needed, &needed)) << GetLastError();
    return buffer;
}

TEST(TokenOverride, EveryKeyReplacesWhatTheCredentialsGive) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    auto user = read_class(token, TokenUser);
    EXPECT_EQ(SidValue::copy_of(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid).text(), "S-1-5-21-10-20-30-1013");
    auto primary = read_class(token, TokenPrimaryGroup);
    EXPECT_EQ(SidValue::copy_of(reinterpret_cast<TOKEN_PRIMARY_GROUP *>(primary.data())->PrimaryGroup).text(),
              "S-1-5-21-10-20-30-1200");

    auto groups = read_class(token, TokenGroups);
    auto *g = reinterpret_cast<TOKEN_GROUPS *>(groups.data());
    std::vector<std::pair<std::string, DWORD>> got;
    for (DWORD i = 0; i < g->GroupCount; ++i) got.emplace_back(SidValue::copy_of(g->Groups[i].Sid).text(), g->Groups[i].Attributes);
    EXPECT_EQ(got, (decltype(got){{"S-1-1-0", 7},
                                  {"S-1-5-21-10-20-30-1200", 0x0F},
                                  {"S-1-5-32-544", 0x10},
                                  {"S-1-5-5-0-16962", 0xC0000007}}));

    auto privileges = read_class(token, TokenPrivileges);
    auto *p = reinterpret_cast<TOKEN_PRIVILEGES *>(privileges.data());
    ASSERT_EQ(p->PrivilegeCount, 2u);
    LUID backup{}, notify{};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &backup));
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeChangeNotifyPrivilege", &notify));
    EXPECT_EQ(p->Privileges[0].Luid.LowPart, backup.LowPart);
    EXPECT_EQ(p->Privileges[1].Luid.LowPart, notify.LowPart);
    EXPECT_EQ(p->Privileges[0].Attributes, SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT);

    TOKEN_STATISTICS s{};
    DWORD needed = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenStatistics, &s, sizeof s, &needed));
    EXPECT_EQ(s.AuthenticationId.LowPart, 0x4242u);
    EXPECT_EQ(s.GroupCount, 4u);
    CloseHandle(token);
}

}  // namespace
