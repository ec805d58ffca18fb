// The LSA of a member of CORP and of its controllers (tests/machines/member.toml).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "identity_support.h"
#include "advapi32/lsa_rights.h"
#include "machine/machine.h"
#include "temp_prefix.h"
#include "wnet.h"

namespace {

using quarn::test::LsaBuffer;
using quarn::test::Policy;
using quarn::test::text_of;
using quarn::test::utf8;

constexpr ACCESS_MASK kView = READ_CONTROL | POLICY_VIEW_LOCAL_INFORMATION;
constexpr const char *kCorp = "S-1-5-21-1111111111-2222222222-3333333333";
constexpr const char *kSales = "S-1-5-21-444444444-555555555-666666666";
constexpr const char *kLegacy = "S-1-5-21-777777777-888888888-999999999";

std::string name_of(const LSA_UNICODE_STRING &s) {
    EXPECT_EQ(s.MaximumLength, s.Length + sizeof(WCHAR));
    EXPECT_EQ(s.Buffer[s.Length / sizeof(WCHAR)], u'\0');
    return utf8(s.Buffer);
}

PSID sid_of(const char *text) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidA(text, &sid));
    return sid;
}

TEST(LsaPolicy, DomainInformationOfEachMachine) {
    const std::string account = quarn::win32::Machine::current()->directory().account_domain_sid().text();
    struct Case {
        const char16_t *system;
        const char *primary;
        const char *primary_sid;
        const char *account;
        std::string account_sid;
    } cases[] = {
        {nullptr, "CORP", kCorp, "WS01", account},
        {u"", "CORP", kCorp, "WS01", account},
        {u"\\\\WS01", "CORP", kCorp, "WS01", account},
        {u"\\\\DC1", "CORP", kCorp, "CORP", kCorp},
        {u"SALESDC2", "SALES", kSales, "SALES", kSales},
        {u"KIOSK", "HOMEGROUP", "<none>", "KIOSK", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.primary + std::string(" ") + c.account);
        Policy policy(c.system, kView);
        ASSERT_EQ(policy.status(), STATUS_SUCCESS);
        LsaBuffer<POLICY_PRIMARY_DOMAIN_INFO> primary;
        ASSERT_EQ(LsaQueryInformationPolicy(policy.get(), PolicyPrimaryDomainInformation, primary.out()), STATUS_SUCCESS);
        EXPECT_EQ(name_of(primary.p->Name), c.primary);
        EXPECT_EQ(text_of(primary.p->Sid), c.primary_sid);
        LsaBuffer<POLICY_ACCOUNT_DOMAIN_INFO> own;
        ASSERT_EQ(LsaQueryInformationPolicy(policy.get(), PolicyAccountDomainInformation, own.out()), STATUS_SUCCESS);
        EXPECT_EQ(name_of(own.p->DomainName), c.account);
        if (!c.account_sid.empty()) {
            EXPECT_EQ(text_of(own.p->DomainSid), c.account_sid);
        }
        EXPECT_TRUE(IsValidSid(own.p->DomainSid));
    }
}

TEST(LsaPolicy, OpeningOtherMachines) {
    struct Case {
        const char16_t *system;
        NTSTATUS status;
    } cases[] = {
        {u"DC1", STATUS_SUCCESS},
        {u"\\\\dc3", STATUS_SUCCESS},
        {u"DC2", STATUS_RPC_NT_SERVER_UNAVAILABLE},
        {u"GONE", STATUS_RPC_NT_SERVER_UNAVAILABLE},
        {u"NOBODY", STATUS_RPC_NT_SERVER_UNAVAILABLE},
        {u"NT4PDC", STATUS_ACCESS_DENIED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(utf8(c.system));
        EXPECT_EQ(Policy(c.system, kView).status(), c.status);
    }
    EXPECT_EQ(LsaNtStatusToWinError(STATUS_RPC_NT_SERVER_UNAVAILABLE), RPC_S_SERVER_UNAVAILABLE);
}

TEST(LsaPolicy, AnIpcSessionOpensAMachineThatNeedsOne) {
    NETRESOURCEW ipc{RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE,
                     nullptr, const_cast<LPWSTR>(u"\\\\NT4PDC\\IPC$"), nullptr, nullptr};
    ASSERT_EQ(WNetAddConnection2W(&ipc, u"", u"", 0), NO_ERROR);
    {
        Policy policy(u"\\\\NT4PDC", kView);
        EXPECT_EQ(policy.status(), STATUS_SUCCESS);
        LsaBuffer<POLICY_PRIMARY_DOMAIN_INFO> primary;
        ASSERT_EQ(LsaQueryInformationPolicy(policy.get(), PolicyPrimaryDomainInformation, primary.out()), STATUS_SUCCESS);
        EXPECT_EQ(text_of(primary.p->Sid), kLegacy);
    }
    EXPECT_EQ(WNetCancelConnection2W(u"\\\\NT4PDC\\IPC$", CONNECT_UPDATE_PROFILE, TRUE), NO_ERROR);
}

TEST(LsaPolicy, HandlesGrantOnlyWhatWasAskedFor) {
    Policy lookup_only(nullptr, POLICY_LOOKUP_NAMES);
    ASSERT_EQ(lookup_only.status(), STATUS_SUCCESS);
    PVOID buffer = reinterpret_cast<PVOID>(static_cast<uintptr_t>(quarn::test::kPoisonWord));
    EXPECT_EQ(LsaQueryInformationPolicy(lookup_only.get(), PolicyPrimaryDomainInformation, &buffer),
              STATUS_ACCESS_DENIED);
    Policy view(nullptr, kView);
    EXPECT_EQ(LsaQueryInformationPolicy(view.get(), PolicyAuditEventsInformation, &buffer), STATUS_INVALID_INFO_CLASS);
    EXPECT_EQ(LsaQueryInformationPolicy(reinterpret_cast<LSA_HANDLE>(0x7777), PolicyPrimaryDomainInformation, &buffer),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(LsaClose(reinterpret_cast<LSA_HANDLE>(0x7777)), STATUS_INVALID_HANDLE);
    Policy generic(nullptr, GENERIC_EXECUTE);
    std::u16string alice = u"alice";
    LSA_UNICODE_STRING name = quarn::test::lsa_string(alice);
    LsaBuffer<LSA_REFERENCED_DOMAIN_LIST> domains;
    LsaBuffer<LSA_TRANSLATED_SID> sids;
    EXPECT_EQ(LsaLookupNames(generic.get(), 1, &name, &domains.p, &sids.p), STATUS_SUCCESS);
}

// Runs `body` in a child process with the identity of nobody; its exit code.
template <typename Body>
int as_nobody(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LsaPolicy, OnlyRootOpensWithAdministrativeRights) {
    ASSERT_EQ(geteuid(), 0u) << "the suites run as root";
    EXPECT_EQ(Policy(nullptr, POLICY_ALL_ACCESS).status(), STATUS_SUCCESS);
    EXPECT_EQ(as_nobody([] { return Policy(nullptr, POLICY_ALL_ACCESS).status() == STATUS_ACCESS_DENIED ? 0 : 1; }), 0);
    EXPECT_EQ(as_nobody([] { return Policy(nullptr, POLICY_CREATE_ACCOUNT).status() == STATUS_ACCESS_DENIED ? 0 : 1; }), 0);
    EXPECT_EQ(as_nobody([] { return Policy(nullptr, kView | POLICY_LOOKUP_NAMES).status() == STATUS_SUCCESS ? 0 : 1; }), 0);
    EXPECT_EQ(as_nobody([] { return Policy(nullptr, MAXIMUM_ALLOWED).status() == STATUS_SUCCESS ? 0 : 1; }), 0);
}

TEST(LsaTrustedDomains, ThePrimaryControllerEnumeratesInParts) {
    Policy policy(u"\\\\DC1", kView);
    ASSERT_EQ(policy.status(), STATUS_SUCCESS);
    struct Step {
        NTSTATUS status;
        ULONG count;
        const char *name;
        const char *sid;
    } steps[] = {
        {STATUS_MORE_ENTRIES, 1, "SALES", kSales},
        {STATUS_SUCCESS, 1, "LEGACY", kLegacy},
        {STATUS_NO_MORE_ENTRIES, 0, nullptr, nullptr},
        {STATUS_NO_MORE_ENTRIES, 0, nullptr, nullptr},
    };
    LSA_ENUMERATION_HANDLE context = 0;
    for (const auto &step : steps) {
        SCOPED_TRACE(context);
        LsaBuffer<LSA_TRUST_INFORMATION> entries;
        ULONG count = quarn::test::kPoisonWord;
        EXPECT_EQ(LsaEnumerateTrustedDomains(policy.get(), &context, entries.out(), 1, &count), step.status);
        ASSERT_EQ(count, step.count);
        if (!step.name) {
            EXPECT_EQ(entries.p, nullptr);
            continue;
        }
        EXPECT_EQ(name_of(entries.p[0].Name), step.name);
        EXPECT_EQ(text_of(entries.p[0].Sid), step.sid);
    }
    EXPECT_EQ(LsaNtStatusToWinError(STATUS_MORE_ENTRIES), ERROR_MORE_DATA);
    EXPECT_EQ(LsaNtStatusToWinError(STATUS_NO_MORE_ENTRIES), ERROR_NO_MORE_ITEMS);

    context = 0;
    LsaBuffer<LSA_TRUST_INFORMATION> all;
    ULONG count = 0;
    EXPECT_EQ(LsaEnumerateTrustedDomains(policy.get(), &context, all.out(), 32000, &count), STATUS_SUCCESS);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(name_of(all.p[1].Name), "LEGACY");
}

TEST(LsaTrustedDomains, WorkstationsAndOtherControllersHoldNone) {
    for (const char16_t *system : {static_cast<const char16_t *>(nullptr), u"SALESDC2", u"FILES"}) {
        SCOPED_TRACE(utf8(system));
        Policy policy(system, kView);
        LSA_ENUMERATION_HANDLE context = 0;
        PVOID buffer = reinterpret_cast<PVOID>(static_cast<uintptr_t>(quarn::test::kPoisonWord));
        ULONG count = quarn::test::kPoisonWord;
        EXPECT_EQ(LsaEnumerateTrustedDomains(policy.get(), &context, &buffer, 32000, &count), STATUS_NO_MORE_ENTRIES);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(buffer, nullptr);
    }
}

TEST(LsaTrustedDomains, PosixOffsets) {
    Policy policy(u"DC1", kView);
    struct Case {
        const char *sid;
        TRUSTED_INFORMATION_CLASS information_class;
        NTSTATUS status;
        ULONG offset;
    } cases[] = {
        {kSales, TrustedPosixOffsetInformation, STATUS_SUCCESS, 0x200000},
        {kLegacy, TrustedPosixOffsetInformation, STATUS_NOT_FOUND, 0},
        {kCorp, TrustedPosixOffsetInformation, STATUS_OBJECT_NAME_NOT_FOUND, 0},
        {kSales, TrustedDomainNameInformation, STATUS_INVALID_INFO_CLASS, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        PSID sid = sid_of(c.sid);
        LsaBuffer<TRUSTED_POSIX_OFFSET_INFO> info;
        EXPECT_EQ(LsaQueryTrustedDomainInfo(policy.get(), sid, c.information_class, info.out()), c.status);
        if (c.status == STATUS_SUCCESS) {
            EXPECT_EQ(info.p->Offset, c.offset);
        }
        LocalFree(sid);
    }
}

TEST(LsaLookupNames, TranslatesIntoReferencedDomains) {
    Policy policy(nullptr, POLICY_LOOKUP_NAMES);
    std::u16string texts[] = {u"alice", u"SALES\\carol", u"no-such-name", u"Everyone", u"CORP", u"bob"};
    std::vector<LSA_UNICODE_STRING> names;
    for (const auto &t : texts) names.push_back(quarn::test::lsa_string(t));
    LsaBuffer<LSA_REFERENCED_DOMAIN_LIST> domains;
    LsaBuffer<LSA_TRANSLATED_SID> sids;
    ASSERT_EQ(LsaLookupNames(policy.get(), static_cast<ULONG>(names.size()), names.data(), &domains.p, &sids.p),
              STATUS_SOME_NOT_MAPPED);
    struct Expected {
        SID_NAME_USE use;
        ULONG rid;
        const char *domain = nullptr;
        const char *domain_sid = nullptr;
    } expected[] = {
        {SidTypeUser, 1105, "CORP", kCorp},
        {SidTypeUser, 1300, "SALES", kSales},
        {SidTypeUnknown, 0, nullptr, nullptr},
        {SidTypeWellKnownGroup, 0, "", "S-1-1"},
        {SidTypeDomain, 0xFFFFFFFF, "CORP", kCorp},
        {SidTypeUser, 1106, "CORP", kCorp},
    };
    ASSERT_EQ(domains.p->Entries, 3u);  // CORP, SALES and the world authority, each once
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(i);
        const auto &e = expected[i];
        EXPECT_EQ(sids.p[i].Use, e.use);
        EXPECT_EQ(sids.p[i].RelativeId, e.rid);
        if (!e.domain) {
            EXPECT_EQ(sids.p[i].DomainIndex, -1);
            continue;
        }
        ASSERT_GE(sids.p[i].DomainIndex, 0);
        ASSERT_LT(static_cast<ULONG>(sids.p[i].DomainIndex), domains.p->Entries);
        const auto &d = domains.p->Domains[sids.p[i].DomainIndex];
        EXPECT_EQ(name_of(d.Name), e.domain);
        EXPECT_EQ(text_of(d.Sid), e.domain_sid);
    }
}

TEST(LsaLookupNames, AllOrNothing) {
    Policy policy(u"DC1", POLICY_LOOKUP_NAMES);
    std::u16string known = u"dave", unknown = u"nobody at all";
    LSA_UNICODE_STRING one = quarn::test::lsa_string(known), none = quarn::test::lsa_string(unknown);
    {
        LsaBuffer<LSA_REFERENCED_DOMAIN_LIST> domains;
        LsaBuffer<LSA_TRANSLATED_SID> sids;
        EXPECT_EQ(LsaLookupNames(policy.get(), 1, &one, &domains.p, &sids.p), STATUS_SUCCESS);
        EXPECT_EQ(sids.p[0].RelativeId, 1010u);
    }
    LsaBuffer<LSA_REFERENCED_DOMAIN_LIST> domains;
    LsaBuffer<LSA_TRANSLATED_SID> sids;
    EXPECT_EQ(LsaLookupNames(policy.get(), 1, &none, &domains.p, &sids.p), STATUS_NONE_MAPPED);
    ASSERT_NE(domains.p, nullptr);
    EXPECT_EQ(domains.p->Entries, 0u);
    EXPECT_EQ(sids.p[0].Use, SidTypeUnknown);
    EXPECT_EQ(LsaNtStatusToWinError(STATUS_NONE_MAPPED), ERROR_NONE_MAPPED);
}

TEST(LsaAccountRights, AreKeptInTheMachinesRightsFile) {
    const auto &prefix = quarn::win32::Machine::current()->prefix();
    PSID alice = sid_of((std::string(kCorp) + "-1105").c_str());
    std::u16string service = u"SeServiceLogonRight", backup = u"SeBackupPrivilege", bogus = u"SeBogusRight";
    LSA_UNICODE_STRING rights[] = {quarn::test::lsa_string(service), quarn::test::lsa_string(backup)};
    LSA_UNICODE_STRING wrong = quarn::test::lsa_string(bogus);
    {
        Policy policy(nullptr, POLICY_ALL_ACCESS);
        ASSERT_EQ(LsaAddAccountRights(policy.get(), alice, rights, 1), STATUS_SUCCESS);
        ASSERT_EQ(LsaAddAccountRights(policy.get(), alice, rights, 2), STATUS_SUCCESS);
        EXPECT_EQ(LsaAddAccountRights(policy.get(), alice, &wrong, 1), STATUS_NO_SUCH_PRIVILEGE);
        EXPECT_EQ(LsaAddAccountRights(policy.get(), alice, rights, 0), STATUS_INVALID_PARAMETER);
        Policy controller(u"DC1", POLICY_ALL_ACCESS);
        ASSERT_EQ(LsaAddAccountRights(controller.get(), alice, rights, 1), STATUS_SUCCESS);
        Policy lookup_only(nullptr, POLICY_LOOKUP_NAMES);
        EXPECT_EQ(LsaAddAccountRights(lookup_only.get(), alice, rights, 1), STATUS_ACCESS_DENIED);
    }
    std::vector<std::string> held;
    const std::string key = std::string(kCorp) + "-1105";
    ASSERT_EQ(quarn::win32::read_account_rights(prefix / "lsa/rights.toml", key, held), STATUS_SUCCESS);
    EXPECT_EQ(held, (std::vector<std::string>{"SeServiceLogonRight", "SeBackupPrivilege"}));
    ASSERT_EQ(quarn::win32::read_account_rights(prefix / "machines/DC1/lsa/rights.toml", key, held), STATUS_SUCCESS);
    EXPECT_EQ(held, (std::vector<std::string>{"SeServiceLogonRight"}));
    EXPECT_NE(quarn::test::read_file(prefix / "lsa/rights.toml").find(key), std::string::npos);
    LocalFree(alice);
}

TEST(LsaAccountRights, ACorruptFileIsReportedAndLeftAlone) {
    quarn::test::TempPrefix scratch;
    scratch.write("lsa/rights.toml", "\"S-1-5-18\" = [\n");
    EXPECT_EQ(quarn::win32::add_account_rights(scratch.path() / "lsa/rights.toml", "S-1-5-18", {"SeServiceLogonRight"}),
              STATUS_INTERNAL_DB_CORRUPTION);
    EXPECT_EQ(quarn::test::read_file(scratch.path() / "lsa/rights.toml"), "\"S-1-5-18\" = [\n");
}

}  // namespace
