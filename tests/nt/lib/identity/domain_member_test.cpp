// Domains on the member profile (tests/machines/member.toml): CORP is the
// primary domain, SALES a trusted domain with the POSIX offset 0x200000 and
// LEGACY one without; the classes, offsets both ways, names, controllers,
// membership of other machines and the service logon right.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kernel32/debug_channel.h"
#include "domain_test_support.h"
#include "identity/domains.h"
#include "machine/machine.h"
#include "netapi.h"
#include "nt.h"
#include "temp_prefix.h"

namespace {

using quarn::test::account_domain_text;
using quarn::test::kPoisonBase;
using quarn::test::Sid;
using quarn::test::sid_text;

constexpr const char *kCorp = "S-1-5-21-1111111111-2222222222-3333333333";
constexpr const char *kSales = "S-1-5-21-444444444-555555555-666666666";
constexpr const char *kLegacy = "S-1-5-21-777777777-888888888-999999999";

TEST(MemberDomains, FactsOfThePrimaryAndAccountDomains) {
    EXPECT_EQ(ntx_is_domain_member(), 1);
    EXPECT_EQ(sid_text(ntx_primary_domain_sid()), kCorp);
    EXPECT_EQ(sid_text(ntx_account_domain_sid()), account_domain_text());
    EXPECT_EQ(ntx_primary_domain_sid(), ntx_primary_domain_sid()) << "the fact is not kept";
    EXPECT_EQ(sid_text(ntx_builtin_domain_sid()), "S-1-5-32");
    EXPECT_EQ(ntx_large_rid_shift(), 0);

    struct Case {
        int length;
        int result;
        const char *name;
    } cases[] = {{64, 1, "CORP"}, {5, 1, "CORP"}, {0, 0, ""}, {-1, 0, ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        char buffer[80];
        std::memset(buffer, 0xCC, sizeof buffer);
        EXPECT_EQ(ntx_what_domain(buffer, c.length), c.result);
        if (c.result) EXPECT_STREQ(buffer, c.name);
        for (int i = c.length > 0 ? c.length : 0; i < static_cast<int>(sizeof buffer); ++i)
            ASSERT_EQ(static_cast<BYTE>(buffer[i]), 0xCC) << "wrote past the length at " << i;
    }
    WCHAR wide[65];
    ASSERT_EQ(ntx_primary_domain_name_w(wide, 65), 1);
    EXPECT_EQ(std::u16string(wide), u"CORP");
    char computer[65];
    ASSERT_EQ(ntx_account_domain_name(computer, sizeof computer), 1);
    EXPECT_STREQ(computer, "WS01");
}

TEST(MemberDomains, TheTrustedDomainListComesFromTheController) {
    ntx_tpo_db *db = ntx_get_tpo_db_from_lsa();
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(db->count, 2);
    EXPECT_STREQ(db->entries[0].name, "SALES");
    EXPECT_EQ(sid_text(db->entries[0].sid), kSales);
    EXPECT_EQ(db->entries[0].offset, 0x200000u);
    EXPECT_STREQ(db->entries[1].name, "LEGACY");
    EXPECT_EQ(sid_text(db->entries[1].sid), kLegacy);
    EXPECT_EQ(db->entries[1].offset, NTX_NO_POSIX_OFFSET);
    EXPECT_GE(db->capacity, 10);
    EXPECT_EQ(ntx_get_tpo_db_from_lsa(), db);
}

TEST(MemberDomains, ClassesAndBases) {
    quarn::test::expect_classes({
        {"S-1-5-32", NTX_DOMAIN_BUILTIN, 0x20000},
        {kCorp, NTX_DOMAIN_PRIMARY, 0x100000},
        {account_domain_text(), NTX_DOMAIN_ACCOUNT, 0x30000},
        {kSales, NTX_DOMAIN_TRUSTED, 0x200000},
        {kLegacy, NTX_DOMAIN_TRUSTED_NO_OFFSET, kPoisonBase},
        {"S-1-5-21-9-9-9", NTX_DOMAIN_NONE, kPoisonBase},
        {"S-1-5-21", NTX_DOMAIN_NONE, kPoisonBase},
        {"S-1-5-18", NTX_DOMAIN_NONE, kPoisonBase},
        {"S-1-5", NTX_DOMAIN_NONE, kPoisonBase},
        {"S-1-1-0", NTX_DOMAIN_NONE, kPoisonBase},
        {"S-1-3-21-1111111111-2222222222-3333333333", NTX_DOMAIN_NONE, kPoisonBase},
    });
    EXPECT_EQ(ntx_get_domain_sid_type(nullptr, nullptr), NTX_DOMAIN_NONE);
}

TEST(MemberDomains, LocalAndDomainSids) {
    struct Case {
        std::string sid;
        int local, domain;
    } cases[] = {
        {std::string(kCorp) + "-1105", 0, 1},
        {std::string(kCorp) + "-513", 0, 1},
        {std::string(kSales) + "-1300", 0, 1},
        {std::string(kLegacy) + "-1010", 0, 1},
        {account_domain_text() + "-1000", 1, 0},
        {"S-1-5-21-9-9-9-1000", 0, 0},
        {"S-1-1-0", 1, 0},
        {"S-1-5-32-544", 1, 0},
        {"S-1-5-5-0-70000", 1, 0},
        {"S-1-5-18", 1, 0},
        {"S-1-5-21-1", 0, 0},
        {kCorp, 0, 0},  // the domain itself is no account of the domain
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        Sid sid(c.sid);
        EXPECT_EQ(nt_is_local_sid(sid.p), c.local);
        EXPECT_EQ(nt_is_domain_sid(sid.p), c.domain);
    }
    BYTE invalid[12] = {3, 1, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0};
    EXPECT_EQ(nt_is_local_sid(invalid), 0);
    EXPECT_EQ(nt_is_domain_sid(invalid), 0);
    EXPECT_EQ(nt_is_local_sid(nullptr), 0);
}

TEST(MemberDomains, OffsetsBothWays) {
    struct Case {
        std::string sid;
        DWORD offset;
        const char *name;
        DWORD stored;
    } cases[] = {
        {"S-1-5-32", 0x20000, "BUILTIN", 0x20000},
        {kCorp, 0x100000, "CORP", 0x100000},
        {account_domain_text(), 0x30000, "WS01", 0x30000},
        {kSales, 0x200000, "SALES", 0x200000},
        {kLegacy, 0xFFFF, "LEGACY", 0xFFFF},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        Sid sid(c.sid);
        ntx_sid_tpo_value *value = nullptr;
        EXPECT_EQ(ntx_sid_to_tpo(sid.p, &value), c.offset);
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(value->name, c.name);
        EXPECT_EQ(value->offset, c.stored);
    }
    Sid unknown("S-1-5-21-9-9-9");
    ntx_sid_tpo_value *untouched = reinterpret_cast<ntx_sid_tpo_value *>(0x1234);
    EXPECT_EQ(ntx_sid_to_tpo(unknown.p, &untouched), 0u);
    EXPECT_EQ(untouched, reinterpret_cast<ntx_sid_tpo_value *>(0x1234));

    ntx_tpo_sid_value *value = nullptr;
    PSID sales = ntx_tpo_to_sid(0x200000, &value);
    EXPECT_EQ(sid_text(sales), kSales);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value->name, "SALES");
    EXPECT_EQ(static_cast<void *>(sales), static_cast<void *>(value->sid));
    EXPECT_EQ(ntx_tpo_to_sid(0xFFFF, nullptr), nullptr) << "a trust without an offset is found by offset";
    EXPECT_EQ(ntx_tpo_to_sid(0x300000, nullptr), nullptr);
}

TEST(MemberDomains, ResultsAreTheCallingThreads) {
    Sid corp(kCorp), sales(kSales);
    ntx_sid_tpo_value *mine = nullptr, *theirs = nullptr;
    ASSERT_EQ(ntx_sid_to_tpo(corp.p, &mine), 0x100000u);
    std::thread([&] { EXPECT_EQ(ntx_sid_to_tpo(sales.p, &theirs), 0x200000u); }).join();
    EXPECT_NE(mine, theirs);
    EXPECT_STREQ(mine->name, "CORP") << "another thread's look-up overwrote this thread's result";
}

TEST(MemberDomains, DomainNamesOfAccounts) {
    struct Case {
        std::string sid;
        const char *name;
    } cases[] = {
        {std::string(kCorp) + "-1105", "CORP"}, {std::string(kSales) + "-1300", "SALES"},
        {std::string(kLegacy) + "-1010", "LEGACY"}, {"S-1-5-32-544", "BUILTIN"},
        {"S-1-5-18", nullptr},                  {"S-1-5-21-9-9-9-1000", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        Sid sid(c.sid);
        const char *name = ntx_domain_name_of_sid(sid.p);
        if (c.name) EXPECT_STREQ(name, c.name);
        else EXPECT_EQ(name, nullptr);
    }
}

TEST(MemberDomains, ControllersOfTheDomains) {
    struct Case {
        const char *domain;
        int result;
        const char *controller;
    } cases[] = {
        {nullptr, 1, "\\\\DC1"},
        {"CORP", 1, "\\\\DC1"},
        {"sales", 1, "\\\\SALESDC2"},  // SALESDC1 does not answer
        {"LEGACY", 1, "\\\\NT4PDC"},
        {"NOSUCH", 0, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.domain ? c.domain : "(null)");
        char *controller = reinterpret_cast<char *>(0x1234);
        EXPECT_EQ(nt_get_any_dc(c.domain, &controller), c.result);
        if (c.result) EXPECT_STREQ(controller, c.controller);
        else EXPECT_EQ(controller, reinterpret_cast<char *>(0x1234));
    }
    LPWSTR wide = nullptr;
    ASSERT_EQ(ntx_get_any_dc_w(u"SALES", &wide), 0u);
    EXPECT_EQ(std::u16string(wide), u"\\\\SALESDC2");
    NetApiBufferFree(wide);
    EXPECT_EQ(nt_is_in_active_directory(), 1);
}

TEST(MemberDomains, AFailedControllerLookUpIsTraced) {
    std::vector<std::string> lines;
    quarn::win32::set_debug_listener([&](std::string_view line) { lines.emplace_back(line); });
    char *controller = nullptr;
    EXPECT_EQ(nt_get_any_dc("NOSUCH", &controller), 0);
    quarn::win32::set_debug_listener({});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("NTX_TRACE: Call to DsGetDcNameW() at nt\\lib\\ntutilx\\"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("status=0x54b"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("Call to ntx_get_any_dc_w() at nt\\lib\\ntutilx\\"), std::string::npos) << lines[1];
}

TEST(MemberDomains, OtherMachinesInOrOutOfTheDomain) {
    struct Case {
        const char *machine;
        int same, reached;
    } cases[] = {
        {nullptr, 1, 1},     // this machine
        {"FILES", 1, 1},     // a member of CORP
        {"\\\\FILES", 1, 1},
        {"DC1", 1, 1},       // CORP's controller
        {"KIOSK", 0, 1},     // in a workgroup
        {"NT4PDC", 0, 1},    // LEGACY's controller, over a null session
        {"SALESDC2", 0, 1},
        {"GONE", 0, 0},      // does not answer
        {"NOSUCH", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.machine ? c.machine : "(null)");
        int reached = static_cast<int>(kPoisonBase);
        EXPECT_EQ(ntx_in_my_domain(c.machine, &reached), c.same);
        EXPECT_EQ(reached, c.reached);
    }
    EXPECT_EQ(ntx_in_my_domain("FILES", nullptr), 1);
}

TEST(MemberDomains, WellKnownSidsOfTheDomains) {
    EXPECT_EQ(sid_text(nt_get_enum_sid(NT_ENUM_SID_DOMAIN_ADMINS)), std::string(kCorp) + "-512");
    EXPECT_EQ(sid_text(nt_get_enum_sid(NT_ENUM_SID_PRIMARY_DOMAIN)), kCorp);
    EXPECT_EQ(sid_text(nt_get_enum_sid(NT_ENUM_SID_ACCOUNT_DOMAIN)), account_domain_text());
    EXPECT_EQ(sid_text(nt_get_enum_sid(NT_ENUM_SID_LOCAL_ADMINISTRATOR)), account_domain_text() + "-500");
    EXPECT_EQ(nt_get_enum_sid(NT_ENUM_SID_DOMAIN_ADMINS), nt_get_enum_sid(NT_ENUM_SID_DOMAIN_ADMINS));
}

TEST(MemberDomains, GrantingTheServiceLogonRight) {
    if (geteuid() != 0) {
        EXPECT_EQ(ntx_grant_logon_svc(nullptr, "CORP\\alice"), ERROR_ACCESS_DENIED);
        return;
    }
    EXPECT_EQ(ntx_grant_logon_svc(nullptr, "CORP\\alice"), 0u);
    std::string rights = quarn::test::read_file(quarn::test::process_prefix().path() / "lsa" / "rights.toml");
    auto line = rights.find(std::string(kCorp) + "-1105");
    ASSERT_NE(line, std::string::npos) << rights;
    EXPECT_NE(rights.substr(line, rights.find('\n', line) - line).find("SeServiceLogonRight"), std::string::npos)
        << rights;
    EXPECT_EQ(ntx_grant_logon_svc(nullptr, "nobody-at-all"), ERROR_NONE_MAPPED);
    EXPECT_EQ(ntx_grant_logon_svc("GONE", "CORP\\alice"), RPC_S_SERVER_UNAVAILABLE);
}

}  // namespace
