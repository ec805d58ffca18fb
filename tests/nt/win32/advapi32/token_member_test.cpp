// Tokens on the member profile: the process token of the domain user alice
// from [token] user, and logon tokens of domain and trusted-domain users,
// with the groups of the directory that list them.
#include <gtest/gtest.h>

#include <algorithm>

#include "advapi32/token_object.h"
#include "win32.h"

using namespace quarn::win32;

namespace {

constexpr DWORD kEnabled = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
constexpr const char *kCorp = "S-1-5-21-1111111111-2222222222-3333333333";
constexpr const char *kSales = "S-1-5-21-444444444-555555555-666666666";
constexpr const char *kLegacy = "S-1-5-21-777777777-888888888-999999999";

std::string sid(const char *domain, DWORD rid) { return std::string(domain) + "-" + std::to_string(rid); }

struct Facts {
    std::string user, primary_group;
    std::vector<std::pair<std::string, DWORD>> groups;
};

Facts facts_of(HANDLE token) {
    Facts f;
    DWORD needed = 0;
    std::vector<BYTE> buffer(4096, 0xCC);
    if (GetTokenInformation(token, TokenUser, buffer.data(), buffer.size(), &needed))
        f.user = SidValue::copy_of(reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid).text();
    if (GetTokenInformation(token, TokenPrimaryGroup, buffer.data(), buffer.size(), &needed))
        f.primary_group = SidValue::copy_of(reinterpret_cast<TOKEN_PRIMARY_GROUP *>(buffer.data())->PrimaryGroup).text();
    if (GetTokenInformation(token, TokenGroups, buffer.data(), buffer.size(), &needed)) {
        auto *g = reinterpret_cast<TOKEN_GROUPS *>(buffer.data());
        for (DWORD i = 0; i < g->GroupCount; ++i)
            f.groups.emplace_back(SidValue::copy_of(g->Groups[i].Sid).text(), g->Groups[i].Attributes);
    }
    return f;
}

// The groups between Everyone and BUILTIN\Users: the account's own, and
// Administrators when it holds them.
std::vector<std::pair<std::string, DWORD>> own_groups(const Facts &f) {
    auto users = std::find_if(f.groups.begin(), f.groups.end(), [](const auto &g) { return g.first == "S-1-5-32-545"; });
    if (f.groups.empty() || users == f.groups.end()) return {};
    return {f.groups.begin() + 1, users};
}

TEST(MemberTokens, TheProcessIsAliceOfCorp) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    Facts f = facts_of(token);
    CloseHandle(token);
    EXPECT_EQ(f.user, sid(kCorp, 1105));
    EXPECT_EQ(f.primary_group, sid(kCorp, 513));
    // alice is in Domain Admins, so her token holds Administrators for deny only.
    EXPECT_EQ(own_groups(f), (decltype(f.groups){{sid(kCorp, 513), kEnabled},
                                                 {sid(kCorp, 512), kEnabled},
                                                 {"S-1-5-32-544", SE_GROUP_USE_FOR_DENY_ONLY}}));
}

TEST(MemberTokens, LogonsCarryTheGroupsThatListTheUser) {
    struct Case {
        const char *name;
        std::string user, primary;
        std::vector<std::pair<std::string, DWORD>> own;
    } cases[] = {
        {"bob", sid(kCorp, 1106), sid(kCorp, 1200), {{sid(kCorp, 1200), kEnabled}, {sid(kCorp, 513), kEnabled}}},
        {"SALES\\carol", sid(kSales, 1300), sid(kSales, 513),
         {{sid(kSales, 513), kEnabled}, {sid(kCorp, 1200), kEnabled}, {sid(kSales, 1301), kEnabled}}},
        {"sales.example.com\\bob", sid(kSales, 1302), sid(kSales, 513), {{sid(kSales, 513), kEnabled}}},
        {"LEGACY\\dave", sid(kLegacy, 1010), sid(kLegacy, 513), {{sid(kLegacy, 513), kEnabled}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE token = nullptr;
        ASSERT_TRUE(logon_account(c.name, &token)) << GetLastError();
        Facts f = facts_of(token);
        CloseHandle(token);
        EXPECT_EQ(f.user, c.user);
        EXPECT_EQ(f.primary_group, c.primary);
        EXPECT_EQ(own_groups(f), c.own);
    }
}

TEST(MemberTokens, GroupsOfTheDomainDoNotLogOn) {
    HANDLE token = nullptr;
    EXPECT_FALSE(logon_account("CORP\\Domain Users", &token));
    EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
}

}  // namespace
