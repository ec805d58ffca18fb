// Account look-ups on a member of CORP (tests/machines/member.toml): domain
// and trusted accounts, the search order for bare names, and controllers as
// system names.
#include <gtest/gtest.h>

#include "identity_support.h"
#include "machine/machine.h"
#include "wnet.h"

namespace {

using quarn::test::lookup_name;
using quarn::test::lookup_sid;

constexpr const char *kCorp = "S-1-5-21-1111111111-2222222222-3333333333";
constexpr const char *kSales = "S-1-5-21-444444444-555555555-666666666";
constexpr const char *kLegacy = "S-1-5-21-777777777-888888888-999999999";

std::string sid(const char *domain, int rid) { return std::string(domain) + "-" + std::to_string(rid); }
std::string account_domain() {
    return quarn::win32::Machine::current()->directory().account_domain_sid().text();
}

TEST(MemberLookup, DomainAndTrustedAccountsBothWays) {
    const quarn::test::AccountCase cases[] = {
        {"alice", sid(kCorp, 1105), "CORP", "alice", SidTypeUser},
        {"CORP\\Alice", sid(kCorp, 1105), "CORP", "alice", SidTypeUser},
        {"corp.example.com\\alice", sid(kCorp, 1105), "CORP", "alice", SidTypeUser},
        {"Domain Users", sid(kCorp, 513), "CORP", "Domain Users", SidTypeGroup},
        {"builders", sid(kCorp, 1200), "CORP", "Builders", SidTypeGroup},
        {"JÜRGEN", sid(kCorp, 1107), "CORP", "Jürgen", SidTypeUser},
        {"carol", sid(kSales, 1300), "SALES", "carol", SidTypeUser},
        {"SALES\\Sales Staff", sid(kSales, 1301), "SALES", "Sales Staff", SidTypeGroup},
        {"dave", sid(kLegacy, 1010), "LEGACY", "dave", SidTypeUser},
        {"CORP", kCorp, "CORP", "CORP", SidTypeDomain},
        {"sales.example.com", kSales, "SALES", "SALES", SidTypeDomain},
        {"LEGACY", kLegacy, "LEGACY", "LEGACY", SidTypeDomain},
        {"WS01", account_domain(), "WS01", "WS01", SidTypeDomain},
    };
    for (const auto &c : cases) quarn::test::expect_both_ways(c);
}

TEST(MemberLookup, BareNamesSearchWellKnownBuiltinLocalPrimaryThenTrusted) {
    struct Case {
        const char *name;
        std::string sid;
    } cases[] = {
        {"root", account_domain() + "-1000"},  // the local root before CORP\root
        {"CORP\\root", sid(kCorp, 1500)},
        {"bob", sid(kCorp, 1106)},             // CORP's bob before SALES's
        {"SALES\\bob", sid(kSales, 1302)},
        {"Users", "S-1-5-32-545"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(lookup_name(nullptr, c.name).sid, c.sid);
    }
}

TEST(MemberLookup, ControllersAnswerForTheirDomains) {
    struct Case {
        const char *system;
        const char *name;
        std::string sid;
        DWORD error;
    } cases[] = {
        {"DC1", "alice", sid(kCorp, 1105), 0},
        {"\\\\dc3", "carol", sid(kSales, 1300), 0},  // the primary domain's controllers know its trusts
        {"DC1", "root", sid(kCorp, 1500), 0},        // a controller has no Linux accounts of ours
        {"DC1", "Administrators", "S-1-5-32-544", 0},
        {"SALESDC2", "carol", sid(kSales, 1300), 0},
        {"SALESDC2", "alice", "", ERROR_NONE_MAPPED},
        {"DC2", "alice", "", RPC_S_SERVER_UNAVAILABLE},  // down
        {"SALESDC1", "carol", "", RPC_S_SERVER_UNAVAILABLE},
        {"NOBODY", "alice", "", RPC_S_SERVER_UNAVAILABLE},
        {"FILES", "alice", sid(kCorp, 1105), 0},     // a member of CORP
        {"KIOSK", "alice", "", ERROR_NONE_MAPPED},   // a workgroup machine
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.system) + " " + c.name);
        auto found = lookup_name(c.system, c.name);
        EXPECT_EQ(found.error, c.error);
        EXPECT_EQ(found.sid, c.sid);
    }
}

TEST(MemberLookup, AControllerThatNeedsASessionAnswersOnceConnected) {
    EXPECT_EQ(lookup_name("NT4PDC", "dave").error, ERROR_ACCESS_DENIED);
    NETRESOURCEA ipc{RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE,
                     nullptr, const_cast<char *>("\\\\NT4PDC\\IPC$"), nullptr, nullptr};
    ASSERT_EQ(WNetAddConnection2A(&ipc, "", "", 0), NO_ERROR);
    auto found = lookup_name("NT4PDC", "dave");
    EXPECT_TRUE(found.ok);
    EXPECT_EQ(found.sid, sid(kLegacy, 1010));
    EXPECT_EQ(lookup_sid("\\\\NT4PDC", sid(kLegacy, 1010)).name, "dave");
    ASSERT_EQ(WNetCancelConnection2A("\\\\nt4pdc\\ipc$", CONNECT_UPDATE_PROFILE, TRUE), NO_ERROR);
    EXPECT_EQ(lookup_name("NT4PDC", "dave").error, ERROR_ACCESS_DENIED);
}

}  // namespace
