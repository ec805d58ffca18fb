// Access tokens: what the process token and logon tokens hold, the buffer
// rules of GetTokenInformation, handle access, DuplicateTokenEx, and
// impersonation per thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

#include "machine/local_accounts.h"
#include "machine/machine.h"
#include "advapi32/token_object.h"
#include "win32.h"

using namespace quarn::win32;

namespace {

constexpr BYTE kPoison = 0xCC;
constexpr DWORD kPoisonWord = 0xDEADBEEF;
constexpr size_t kGuard = 16;
constexpr DWORD kEnabled = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;

std::string text_of(PSID sid) {
    char *text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "<" + std::to_string(GetLastError()) + ">";
    std::string out = text;
    LocalFree(text);
    return out;
}

// One information class read as a caller would: asked for the size first,
// refused one byte short without a write, then read into a poisoned buffer
// whose guard bytes must survive.
struct Answer {
    std::vector<BYTE> bytes;
    template <typename T>
    const T *as() const {
        return reinterpret_cast<const T *>(bytes.data());
    }
};

Answer read_class(HANDLE token, TOKEN_INFORMATION_CLASS c) {
    Answer out;
    DWORD needed = kPoisonWord;
    EXPECT_FALSE(GetTokenInformation(token, c, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_NE(needed, kPoisonWord);
    out.bytes.assign(needed + kGuard, kPoison);
    DWORD again = kPoisonWord;
    EXPECT_FALSE(GetTokenInformation(token, c, out.bytes.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(again, needed);
    EXPECT_TRUE(std::all_of(out.bytes.begin(), out.bytes.end(), [](BYTE b) { return b == kPoison; }))
        << "a refused read wrote into the buffer";
    DWORD got = kPoisonWord;
    EXPECT_TRUE(GetTokenInformation(token, c, out.bytes.data(), needed, &got)) << GetLastError();
    EXPECT_EQ(got, needed);
    EXPECT_TRUE(std::all_of(out.bytes.begin() + needed, out.bytes.end(), [](BYTE b) { return b == kPoison; }))
        << "the read ran past the size it asked for";
    return out;
}

std::string user_of(HANDLE token) { return text_of(read_class(token, TokenUser).as<TOKEN_USER>()->User.Sid); }

using Groups = std::vector<std::pair<std::string, DWORD>>;

Groups groups_of(HANDLE token) {
    Answer a = read_class(token, TokenGroups);
    const auto *g = a.as<TOKEN_GROUPS>();
    Groups out;
    for (DWORD i = 0; i < g->GroupCount; ++i) {
        const BYTE *sid = static_cast<const BYTE *>(g->Groups[i].Sid);
        EXPECT_TRUE(sid >= a.bytes.data() && sid + GetLengthSid(g->Groups[i].Sid) <= a.bytes.data() + a.bytes.size() - kGuard)
            << "group " << i << " points outside the answer";
        out.emplace_back(text_of(g->Groups[i].Sid), g->Groups[i].Attributes);
    }
    return out;
}

Groups groups_of(const TokenContents &t) {
    Groups out;
    for (const auto &g : t.groups) out.emplace_back(g.sid.text(), g.attributes);
    return out;
}

TOKEN_STATISTICS statistics_of(HANDLE token) {
    TOKEN_STATISTICS s{};
    DWORD needed = 0;
    EXPECT_TRUE(GetTokenInformation(token, TokenStatistics, &s, sizeof s, &needed));
    return s;
}

std::string account_sid(DWORD rid) { return Machine::current()->directory().account_domain_sid().with_rid(rid).text(); }

// A token handle closed at the end of its scope.
struct Handle {
    HANDLE h = nullptr;
    ~Handle() {
        if (h) CloseHandle(h);
    }
};

Handle logon(const char *name) {
    Handle t;
    EXPECT_TRUE(logon_account(name, &t.h)) << name << ": " << GetLastError();
    return t;
}

std::optional<LocalUser> daemon_user() { return local_user_named("daemon"); }

TEST(ProcessToken, RootIsLocalSystem) {
    auto t = process_token_contents(getpid(), 0, {0});
    ASSERT_TRUE(t);
    EXPECT_EQ(t->user.text(), "S-1-5-18");
    EXPECT_EQ(groups_of(*t), (Groups{{"S-1-5-32-544", 0xE}, {"S-1-1-0", kEnabled}, {"S-1-5-11", kEnabled}}));
    EXPECT_EQ(t->primary_group.text(), "S-1-5-18");
    EXPECT_EQ(t->owner.text(), "S-1-5-32-544");
    EXPECT_EQ(t->logon.LowPart, SYSTEM_LUID);
    EXPECT_GT(t->privileges.size(), 30u);
}

TEST(ProcessToken, OrdinaryUserHoldsTheInteractiveGroups) {
    auto d = daemon_user();
    if (!d) GTEST_SKIP() << "no daemon account";
    // gid 4 is adm on Debian-like systems: a member holds Administrators for deny only.
    auto t = process_token_contents(getpid(), d->uid, {d->gid, 4, d->gid});
    ASSERT_TRUE(t);
    EXPECT_EQ(t->user.text(), account_sid(1000 + 2 * d->uid));
    std::string logon_sid = "S-1-5-5-0-" + std::to_string(t->logon.LowPart);
    bool adm = local_group_with_gid(4) && local_group_with_gid(4)->name == "adm";
    Groups expected{{"S-1-1-0", kEnabled}, {account_sid(1001 + 2 * d->gid), kEnabled}, {account_sid(1009), kEnabled}};
    if (adm) expected.push_back({"S-1-5-32-544", SE_GROUP_USE_FOR_DENY_ONLY});
    for (const char *sid : {"S-1-5-32-545", "S-1-5-4", "S-1-5-11", "S-1-2-0"}) expected.push_back({sid, kEnabled});
    expected.push_back({logon_sid, kEnabled | SE_GROUP_LOGON_ID});
    EXPECT_EQ(groups_of(*t), expected);
    EXPECT_EQ(t->primary_group.text(), account_sid(1001 + 2 * d->gid));
    EXPECT_EQ(t->owner, t->user);
    EXPECT_EQ(t->privileges.size(), 5u);
}

TEST(ProcessToken, EveryHandleNamesOneToken) {
    Handle a, b;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &a.h));
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &b.h));
    EXPECT_NE(a.h, b.h);
    EXPECT_EQ(statistics_of(a.h).TokenId.LowPart, statistics_of(b.h).TokenId.LowPart);
    EXPECT_EQ(statistics_of(a.h).TokenType, TokenPrimary);
    EXPECT_EQ(statistics_of(a.h).GroupCount, groups_of(a.h).size());
    // This process opened by its id, as nt_get_logon_luid opens it, has the same token.
    Handle self, c;
    self.h = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
    ASSERT_TRUE(self.h) << GetLastError();
    ASSERT_TRUE(OpenProcessToken(self.h, TOKEN_QUERY, &c.h)) << GetLastError();
    EXPECT_EQ(statistics_of(c.h).TokenId.LowPart, statistics_of(a.h).TokenId.LowPart);
    EXPECT_EQ(statistics_of(c.h).AuthenticationId.LowPart, statistics_of(a.h).AuthenticationId.LowPart);
}

TEST(TokenInformation, EveryClassFollowsTheBufferRules) {
    Handle t;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &t.h));
    for (auto c : {TokenUser, TokenGroups, TokenPrivileges, TokenOwner, TokenPrimaryGroup, TokenType, TokenStatistics}) {
        SCOPED_TRACE(static_cast<int>(c));
        read_class(t.h, c);
    }
    Answer type = read_class(t.h, TokenType);
    EXPECT_EQ(*type.as<DWORD>(), static_cast<DWORD>(TokenPrimary));
    EXPECT_EQ(type.bytes.size() - kGuard, sizeof(DWORD));
    Answer owner = read_class(t.h, TokenOwner);
    EXPECT_EQ(owner.bytes.size() - kGuard, sizeof(TOKEN_OWNER) + GetLengthSid(owner.as<TOKEN_OWNER>()->Owner));
}

TEST(TokenInformation, RefusesWhatItCannotAnswer) {
    Handle t;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &t.h));
    DWORD needed = kPoisonWord;
    BYTE buffer[64];
    EXPECT_FALSE(GetTokenInformation(t.h, TokenImpersonationLevel, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(GetTokenInformation(t.h, TokenSource, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(GetTokenInformation(t.h, TokenUser, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOACCESS);
    Handle no_query;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &no_query.h));
    EXPECT_FALSE(GetTokenInformation(no_query.h, TokenUser, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(GetTokenInformation(GetCurrentProcess(), TokenUser, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(DuplicateTokenEx, MakesANewTokenOfTheTypeAndLevelAsked) {
    Handle process, copy;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process.h));
    ASSERT_TRUE(DuplicateTokenEx(process.h, 0, nullptr, SecurityIdentification, TokenImpersonation, &copy.h));
    TOKEN_STATISTICS s = statistics_of(copy.h);  // access 0: the source handle's, so TOKEN_QUERY
    EXPECT_EQ(s.TokenType, TokenImpersonation);
    EXPECT_EQ(s.ImpersonationLevel, SecurityIdentification);
    EXPECT_NE(s.TokenId.LowPart, statistics_of(process.h).TokenId.LowPart);
    EXPECT_EQ(s.AuthenticationId.LowPart, statistics_of(process.h).AuthenticationId.LowPart);
    EXPECT_EQ(user_of(copy.h), user_of(process.h));
    EXPECT_EQ(groups_of(copy.h), groups_of(process.h));
    Answer level = read_class(copy.h, TokenImpersonationLevel);
    EXPECT_EQ(*level.as<DWORD>(), static_cast<DWORD>(SecurityIdentification));

    struct Case {
        const char *what;
        HANDLE source;
        SECURITY_IMPERSONATION_LEVEL level;
        TOKEN_TYPE type;
        DWORD error;
    } refused[] = {
        {"raise an identification token", copy.h, SecurityImpersonation, TokenImpersonation, ERROR_BAD_IMPERSONATION_LEVEL},
        {"primary from identification", copy.h, SecurityIdentification, TokenPrimary, ERROR_BAD_IMPERSONATION_LEVEL},
        {"primary at anonymous", process.h, SecurityAnonymous, TokenPrimary, ERROR_BAD_IMPERSONATION_LEVEL},
        {"no such type", process.h, SecurityImpersonation, static_cast<TOKEN_TYPE>(3), ERROR_INVALID_PARAMETER},
        {"no such level", process.h, static_cast<SECURITY_IMPERSONATION_LEVEL>(4), TokenPrimary, ERROR_INVALID_PARAMETER},
        {"not a token", GetCurrentProcess(), SecurityImpersonation, TokenPrimary, ERROR_INVALID_HANDLE},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.what);
        HANDLE out = reinterpret_cast<HANDLE>(0x1234);
        EXPECT_FALSE(DuplicateTokenEx(c.source, TOKEN_ALL_ACCESS, nullptr, c.level, c.type, &out));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(out, reinterpret_cast<HANDLE>(0x1234));
    }
    Handle query_only, out;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &query_only.h));
    EXPECT_FALSE(DuplicateTokenEx(query_only.h, 0, nullptr, SecurityImpersonation, TokenPrimary, &out.h));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Impersonation, ThreadWithoutOneHasNoToken) {
    Handle t;
    for (BOOL as_self : {FALSE, TRUE}) {
        EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, as_self, &t.h));
        EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
        EXPECT_EQ(t.h, nullptr);
    }
    EXPECT_FALSE(OpenThreadToken(GetCurrentProcess(), TOKEN_QUERY, TRUE, &t.h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(RevertToSelf());
}

TEST(Impersonation, SetThreadTokenTakesImpersonationTokensOnly) {
    if (!daemon_user()) GTEST_SKIP() << "no daemon account";
    Handle primary = logon("daemon"), identification, no_impersonate;
    HANDLE thread = GetCurrentThread();
    EXPECT_FALSE(SetThreadToken(&thread, primary.h));
    EXPECT_EQ(GetLastError(), ERROR_BAD_TOKEN_TYPE);
    ASSERT_TRUE(DuplicateTokenEx(primary.h, TOKEN_QUERY, nullptr, SecurityImpersonation, TokenImpersonation,
                                 &no_impersonate.h));
    EXPECT_FALSE(SetThreadToken(nullptr, no_impersonate.h));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(DuplicateTokenEx(primary.h, TOKEN_QUERY | TOKEN_IMPERSONATE, nullptr, SecurityIdentification,
                                 TokenImpersonation, &identification.h));
    ASSERT_TRUE(SetThreadToken(&thread, identification.h));
    Handle opened;
    ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &opened.h));
    EXPECT_EQ(user_of(opened.h), user_of(primary.h));
    EXPECT_EQ(statistics_of(opened.h).TokenId.LowPart, statistics_of(identification.h).TokenId.LowPart);
    Handle process;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process.h));
    EXPECT_NE(user_of(process.h), user_of(opened.h)) << "impersonation changed the process token";
    ASSERT_TRUE(SetThreadToken(nullptr, nullptr));
    Handle none;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &none.h));
    EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
}

TEST(Impersonation, AnonymousTokensCannotBeOpened) {
    Handle process, anonymous, opened;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &process.h));
    ASSERT_TRUE(DuplicateTokenEx(process.h, TOKEN_IMPERSONATE, nullptr, SecurityAnonymous, TokenImpersonation,
                                 &anonymous.h));
    ASSERT_TRUE(SetThreadToken(nullptr, anonymous.h));
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &opened.h));
    EXPECT_EQ(GetLastError(), ERROR_CANT_OPEN_ANONYMOUS);
    EXPECT_TRUE(RevertToSelf());
}

TEST(Impersonation, ImpersonateLoggedOnUserNeedsQueryAndDuplicate) {
    if (!daemon_user()) GTEST_SKIP() << "no daemon account";
    Handle primary = logon("daemon"), query_only;
    ASSERT_TRUE(DuplicateTokenEx(primary.h, TOKEN_QUERY, nullptr, SecurityImpersonation, TokenPrimary, &query_only.h));
    EXPECT_FALSE(ImpersonateLoggedOnUser(query_only.h));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(ImpersonateLoggedOnUser(primary.h));
    Handle opened;
    ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &opened.h));
    TOKEN_STATISTICS s = statistics_of(opened.h);
    EXPECT_EQ(s.TokenType, TokenImpersonation);
    EXPECT_EQ(s.ImpersonationLevel, SecurityImpersonation);
    EXPECT_EQ(user_of(opened.h), account_sid(1000 + 2 * daemon_user()->uid));
    EXPECT_TRUE(RevertToSelf());
    Handle none;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &none.h));
    EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
}

// Threads that impersonate different users and threads that do not, all at
// once: each sees only its own token, round after round.
TEST(Impersonation, EachThreadHasItsOwn) {
    std::vector<std::string> users;
    for (const char *name : {"daemon", "bin", "sys"})
        if (local_user_named(name)) users.push_back(name);
    if (users.empty()) GTEST_SKIP() << "no system accounts";
    Handle process;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process.h));
    const std::string self = user_of(process.h);
    constexpr int kRounds = 50;
    const size_t threads = users.size() * 2;
    std::barrier round(static_cast<std::ptrdiff_t>(threads));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> pool;
    for (size_t i = 0; i < threads; ++i) {
        pool.emplace_back([&, i] {
            bool impersonates = i % 2 == 0;
            const std::string &name = users[i / 2];
            Handle mine;
            if (impersonates && !logon_account(name.c_str(), &mine.h)) ++mismatches;
            for (int r = 0; r < kRounds; ++r) {
                if (impersonates && !ImpersonateLoggedOnUser(mine.h)) ++mismatches;
                round.arrive_and_wait();
                Handle t;
                bool opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &t.h);
                if (opened != impersonates) ++mismatches;
                if (!opened && GetLastError() != ERROR_NO_TOKEN) ++mismatches;
                Handle p;
                if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &p.h) || user_of(p.h) != self) ++mismatches;
                if (opened && user_of(t.h) != account_sid(1000 + 2 * local_user_named(name)->uid)) ++mismatches;
                round.arrive_and_wait();
                RevertToSelf();
            }
        });
    }
    for (auto &t : pool) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(Logon, TokensOfLocalUsers) {
    auto d = daemon_user();
    if (!d) GTEST_SKIP() << "no daemon account";
    Handle first = logon("daemon"), second = logon("DAEMON");
    EXPECT_EQ(user_of(first.h), account_sid(1000 + 2 * d->uid));
    EXPECT_EQ(text_of(read_class(first.h, TokenPrimaryGroup).as<TOKEN_PRIMARY_GROUP>()->PrimaryGroup),
              account_sid(1001 + 2 * d->gid));
    Groups g = groups_of(first.h);
    ASSERT_GE(g.size(), 7u);
    EXPECT_EQ(g.front(), (Groups::value_type{"S-1-1-0", kEnabled}));
    TOKEN_STATISTICS a = statistics_of(first.h), b = statistics_of(second.h);
    EXPECT_NE(a.AuthenticationId.LowPart, b.AuthenticationId.LowPart) << "two logons share a session";
    EXPECT_EQ(g.back(), (Groups::value_type{"S-1-5-5-0-" + std::to_string(a.AuthenticationId.LowPart),
                                            kEnabled | SE_GROUP_LOGON_ID}));
    for (const auto &group : local_groups_of(*d)) {
        SCOPED_TRACE(group.name);
        std::string sid = account_sid(1001 + 2 * group.gid);
        EXPECT_EQ(std::count_if(g.begin(), g.end(), [&](const auto &e) { return e.first == sid; }), 1);
    }
}

TEST(Logon, RootAdministersTheMachine) {
    Handle root = logon("root");
    Groups g = groups_of(root.h);
    EXPECT_NE(std::find(g.begin(), g.end(), Groups::value_type{"S-1-5-32-544", kEnabled | SE_GROUP_OWNER}), g.end());
    EXPECT_EQ(text_of(read_class(root.h, TokenOwner).as<TOKEN_OWNER>()->Owner), "S-1-5-32-544");
    EXPECT_GT(read_class(root.h, TokenPrivileges).as<TOKEN_PRIVILEGES>()->PrivilegeCount, 30u);
}

TEST(Logon, OnlyUsersLogOn) {
    for (const char *name : {"no-such-account-here", "BUILTIN\\Administrators", "Everyone", ""}) {
        SCOPED_TRACE(name);
        HANDLE t = reinterpret_cast<HANDLE>(0x1234);
        EXPECT_FALSE(logon_account(name, &t));
        EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
        EXPECT_EQ(t, reinterpret_cast<HANDLE>(0x1234));
    }
    EXPECT_FALSE(logon_account(nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(TokenConfig, BadTokenKeysNameTheirLine) {
    struct Case {
        const char *text;
        const char *error;
    } cases[] = {
        {"[token]\nprivileges = [\"SeBackupPrivilege\", \"SeNoSuchPrivilege\"]\n",
         "m.toml:2: token.privileges: expected privilege names such as \"SeChangeNotifyPrivilege\""},
        {"[token]\nprivileges = \"SeBackupPrivilege\"\n", "m.toml:2: token.privileges: expected an array of privilege names"},
        {"[token]\nprimary_group = \"S-1-x\"\n", "m.toml:2: token.primary_group: expected a SID text such as \"S-1-5-18\""},
        {"[token]\nlogon_session = -1\n", "m.toml:2: token.logon_session: expected an integer from 0 to 4294967295"},
        {"[[token.groups]]\nattributes = 7\n", "m.toml:1: token.groups.0: needs a sid"},
        {"[[token.groups]]\nsid = \"S-1-1-0\"\nattribute = 7\n", "m.toml:3: token.groups.0.attribute: unknown key"},
        {"[token]\ngroups = [\"S-1-1-0\"]\n", "m.toml:2: token.groups: expected an array of tables ([[token.groups]])"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        try {
            MachineConfig::parse(c.text, "m.toml");
            ADD_FAILURE() << "accepted";
        } catch (const MachineConfigError &e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
    }
    auto good = MachineConfig::parse("[token]\nlogon_session = 0x4242\n[[token.groups]]\nsid = \"S-1-1-0\"\n", "m.toml");
    EXPECT_EQ(good.integer("token.logon_session"), 0x4242);
    EXPECT_EQ(good.text("token.groups.0.sid"), "S-1-1-0");
}

}  // namespace
