// LookupAccountName and LookupAccountSid on this machine, with no machine.toml:
// the well-known SIDs, the builtin domain and Linux's own accounts.
#include <grp.h>
#include <gtest/gtest.h>

#include <cstring>

#include "identity_support.h"
#include "machine/machine.h"

namespace {

using quarn::test::lookup_name;
using quarn::test::lookup_name_w;
using quarn::test::lookup_sid;
using quarn::test::lookup_sid_w;

const quarn::win32::Machine &machine() { return *quarn::win32::Machine::current(); }
std::string account_domain() { return machine().directory().account_domain_sid().text(); }

TEST(LookupAccount, WellKnownNamesBothWays) {
    const quarn::test::AccountCase cases[] = {
        {"NT AUTHORITY\\SYSTEM", "S-1-5-18", "NT AUTHORITY", "SYSTEM", SidTypeWellKnownGroup},
        {"system", "S-1-5-18", "NT AUTHORITY", "SYSTEM", SidTypeWellKnownGroup},
        {"Everyone", "S-1-1-0", "", "Everyone", SidTypeWellKnownGroup},
        {"CREATOR OWNER", "S-1-3-0", "", "CREATOR OWNER", SidTypeWellKnownGroup},
        {"creator group", "S-1-3-1", "", "CREATOR GROUP", SidTypeWellKnownGroup},
        {"NULL SID", "S-1-0-0", "", "NULL SID", SidTypeWellKnownGroup},
        {"LOCAL", "S-1-2-0", "", "LOCAL", SidTypeWellKnownGroup},
        {"nt authority\\authenticated users", "S-1-5-11", "NT AUTHORITY", "Authenticated Users", SidTypeWellKnownGroup},
        {"INTERACTIVE", "S-1-5-4", "NT AUTHORITY", "INTERACTIVE", SidTypeWellKnownGroup},
        {"NETWORK SERVICE", "S-1-5-20", "NT AUTHORITY", "NETWORK SERVICE", SidTypeWellKnownGroup},
        {"Mandatory Label\\High Mandatory Level", "S-1-16-12288", "Mandatory Label", "High Mandatory Level", SidTypeLabel},
        {"Low Mandatory Level", "S-1-16-4096", "Mandatory Label", "Low Mandatory Level", SidTypeLabel},
        {"BUILTIN\\Administrators", "S-1-5-32-544", "BUILTIN", "Administrators", SidTypeAlias},
        {"users", "S-1-5-32-545", "BUILTIN", "Users", SidTypeAlias},
        {"Guests", "S-1-5-32-546", "BUILTIN", "Guests", SidTypeAlias},
        {"Power Users", "S-1-5-32-547", "BUILTIN", "Power Users", SidTypeAlias},
        {"Backup Operators", "S-1-5-32-551", "BUILTIN", "Backup Operators", SidTypeAlias},
        {"Replicator", "S-1-5-32-552", "BUILTIN", "Replicator", SidTypeAlias},
        {"Remote Desktop Users", "S-1-5-32-555", "BUILTIN", "Remote Desktop Users", SidTypeAlias},
        {"BUILTIN", "S-1-5-32", "BUILTIN", "BUILTIN", SidTypeDomain},
    };
    for (const auto &c : cases) quarn::test::expect_both_ways(c);
}

TEST(LookupAccount, RootIsTheFirstUserOfTheAccountDomain) {
    const std::string computer = machine().computer_name();
    for (std::string name : {std::string("root"), std::string("ROOT"), computer + "\\root", computer + "\\Root"}) {
        SCOPED_TRACE(name);
        auto found = lookup_name(nullptr, name.c_str());
        ASSERT_TRUE(found.ok) << found.error;
        EXPECT_EQ(found.sid, account_domain() + "-1000");
        EXPECT_EQ(found.domain, computer);
        EXPECT_EQ(found.use, SidTypeUser);
    }
    auto user = lookup_sid(nullptr, account_domain() + "-1000");
    ASSERT_TRUE(user.ok);
    EXPECT_EQ(user.name, "root");
    EXPECT_EQ(user.domain, computer);
    EXPECT_EQ(user.use, SidTypeUser);
    auto group = lookup_sid(nullptr, account_domain() + "-1001");  // gid 0
    ASSERT_TRUE(group.ok);
    EXPECT_EQ(group.name, getgrgid(0)->gr_name);
    EXPECT_EQ(group.use, SidTypeAlias);
}

TEST(LookupAccount, TheAccountDomainAnswersAsADomain) {
    const std::string computer = machine().computer_name();
    auto by_sid = lookup_sid(nullptr, account_domain());
    ASSERT_TRUE(by_sid.ok);
    EXPECT_EQ(by_sid.name, computer);
    EXPECT_EQ(by_sid.domain, computer);
    EXPECT_EQ(by_sid.use, SidTypeDomain);
    auto by_name = lookup_name(nullptr, computer.c_str());
    ASSERT_TRUE(by_name.ok);
    EXPECT_EQ(by_name.sid, account_domain());
    EXPECT_EQ(by_name.use, SidTypeDomain);
}

TEST(LookupAccount, SystemNamesThisMachineOrNoMachine) {
    const std::string computer = machine().computer_name();
    std::string lower = computer;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    struct Case {
        std::string system;
        DWORD error;
    } cases[] = {
        {"", 0}, {computer, 0}, {lower, 0}, {"\\\\" + computer, 0}, {"ELSEWHERE", RPC_S_SERVER_UNAVAILABLE},
        {"\\\\ELSEWHERE", RPC_S_SERVER_UNAVAILABLE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.system);
        auto found = lookup_name(c.system.c_str(), "root");
        EXPECT_EQ(found.error, c.error);
        EXPECT_EQ(lookup_sid(c.system.c_str(), "S-1-5-18").error, c.error);
    }
}

TEST(LookupAccount, UnknownAccountsAreNotMapped) {
    struct Case {
        const char *name;
    } names[] = {{"no-such-account-here"}, {"BUILTIN\\root"}, {"NOWHERE\\root"}, {"NT AUTHORITY\\Everyone"}, {"BUILTIN\\"}};
    for (const auto &c : names) {
        SCOPED_TRACE(c.name);
        auto found = lookup_name(nullptr, c.name);
        EXPECT_FALSE(found.ok);
        EXPECT_EQ(found.error, ERROR_NONE_MAPPED);
    }
    for (std::string sid : {account_domain() + "-999", std::string("S-1-5-32-999"), std::string("S-1-5-21-9-9-9-1000"),
                            std::string("S-1-5-99")}) {
        SCOPED_TRACE(sid);
        EXPECT_EQ(lookup_sid(nullptr, sid).error, ERROR_NONE_MAPPED);
    }
}

TEST(LookupAccount, NameBufferSizes) {
    BYTE sid[64];
    char domain[64];
    std::memset(sid, quarn::test::kPoison, sizeof sid);
    std::memset(domain, quarn::test::kPoison, sizeof domain);
    SID_NAME_USE use = quarn::test::kPoisonUse;
    struct Case {
        DWORD sid_size;
        DWORD domain_size;
        bool ok;
    } cases[] = {{0, 0, false}, {12, 0, false}, {0, 13, false}, {11, 13, false}, {12, 12, false}, {12, 13, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.sid_size) + "/" + std::to_string(c.domain_size));
        DWORD sid_size = c.sid_size, domain_size = c.domain_size;
        SetLastError(quarn::test::kPoisonWord);
        BOOL ok = LookupAccountNameA(nullptr, "SYSTEM", c.sid_size ? sid : nullptr, &sid_size,
                                     c.domain_size ? domain : nullptr, &domain_size, &use);
        ASSERT_EQ(ok != FALSE, c.ok);
        EXPECT_EQ(sid_size, 12u);  // S-1-5-18
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
            EXPECT_EQ(domain_size, 13u);  // "NT AUTHORITY" and its terminator
            EXPECT_EQ(domain[0], static_cast<char>(quarn::test::kPoison));
            EXPECT_EQ(use, quarn::test::kPoisonUse);
            continue;
        }
        EXPECT_EQ(domain_size, 12u);
        EXPECT_STREQ(domain, "NT AUTHORITY");
        EXPECT_EQ(domain[13], static_cast<char>(quarn::test::kPoison));
        EXPECT_EQ(sid[12], quarn::test::kPoison);
        EXPECT_EQ(quarn::test::text_of(sid), "S-1-5-18");
    }
}

TEST(LookupAccount, SidBufferSizesAreInCharacters) {
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-32-544", &sid));
    WCHAR name[32], domain[32];
    DWORD name_size = 5, domain_size = 0;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(name_size, 15u);  // "Administrators"
    EXPECT_EQ(domain_size, 8u);  // "BUILTIN"
    EXPECT_TRUE(LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use));
    EXPECT_EQ(name_size, 14u);
    EXPECT_EQ(domain_size, 7u);
    EXPECT_EQ(quarn::test::utf8(name), "Administrators");
    LocalFree(sid);
}

TEST(LookupAccount, WideCallsMatchTheAnsiOnes) {
    auto wide = lookup_name_w(nullptr, u"nt authority\\interactive");
    ASSERT_TRUE(wide.ok);
    EXPECT_EQ(wide.sid, "S-1-5-4");
    EXPECT_EQ(wide.domain, "NT AUTHORITY");
    auto back = lookup_sid_w(u"", account_domain() + "-1000");
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.name, "root");
    EXPECT_EQ(lookup_name_w(u"\\\\ELSEWHERE", u"root").error, RPC_S_SERVER_UNAVAILABLE);
}

TEST(LookupAccount, BadArguments) {
    DWORD size = 0, domain_size = 0;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountNameA(nullptr, nullptr, nullptr, &size, nullptr, &domain_size, &use));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    BYTE bad[12] = {2, 1};
    EXPECT_FALSE(LookupAccountSidA(nullptr, bad, nullptr, &size, nullptr, &domain_size, &use));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
}

}  // namespace
