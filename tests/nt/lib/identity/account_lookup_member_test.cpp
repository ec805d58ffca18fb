// Tokens and account names on the member profile (tests/machines/member.toml),
// whose process token is CORP\alice: domain qualification and its retry,
// the token queries, nt_getlogin, the primary controller, and the identity
// flush after the thread's token changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "child_process.h"
#include "domain_test_support.h"
#include "nt.h"
#include "ntregy.h"
#include "ntx.h"
#include "win32.h"

namespace {

using quarn::test::account_domain_text;
using quarn::test::sid_text;

const std::string kCorp = "S-1-5-21-1111111111-2222222222-3333333333";
const std::string kSales = "S-1-5-21-444444444-555555555-666666666";
constexpr char kPoison = static_cast<char>(0xCC);

// The outputs of one look-up, poisoned, with guard bytes after each buffer.
struct Lookup {
    BYTE sid[NTX_SID_SIZE + 4];
    char domain[65 + 4];
    char qualified[NT_QUALIFIED_NAME_SIZE + 4];
    int use = static_cast<int>(0xdeadbeef);
    int result = -1;

    explicit Lookup(const char *name, DWORD sid_size = NTX_SID_SIZE, DWORD domain_size = 65) {
        std::memset(sid, 0xCC, sizeof sid);
        std::memset(domain, 0xCC, sizeof domain);
        std::memset(qualified, 0xCC, sizeof qualified);
        result = nt_lookup_account_name(name, sid, sid_size, domain, domain_size, &use, qualified);
    }
    bool guards_intact() const {
        for (int i = 0; i < 4; ++i)
            if (sid[NTX_SID_SIZE + i] != 0xCC || domain[65 + i] != kPoison ||
                qualified[NT_QUALIFIED_NAME_SIZE + i] != kPoison)
                return false;
        return true;
    }
};

TEST(AccountLookup, BareNamesAreQualifiedWithTheUsersDomainFirst) {
    struct Case {
        const char *name, *qualified, *domain;
        std::string sid;
        int use;
    } cases[] = {
        {"bob", "CORP\\bob", "CORP", kCorp + "-1106", NT_SID_USER},
        // CORP's root hides the local root from bare names
        {"root", "CORP\\root", "CORP", kCorp + "-1500", NT_SID_USER},
        {"Domain Users", "CORP\\Domain Users", "CORP", kCorp + "-513", NT_SID_GROUP},
        // not in CORP: retried as given, named by the domain that answered
        {"carol", "SALES\\carol", "SALES", kSales + "-1300", NT_SID_USER},
        {"Everyone", "\\Everyone", "", "S-1-1-0", NT_SID_WELL_KNOWN_GROUP},
        {"SALES\\bob", "SALES\\bob", "SALES", kSales + "-1302", NT_SID_USER},
        {"corp\\ALICE", "corp\\ALICE", "CORP", kCorp + "-1105", NT_SID_USER},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Lookup l(c.name);
        ASSERT_EQ(l.result, 1);
        EXPECT_STREQ(l.qualified, c.qualified);
        EXPECT_STREQ(l.domain, c.domain);
        EXPECT_EQ(sid_text(l.sid), c.sid);
        EXPECT_EQ(l.use, c.use);
        EXPECT_TRUE(l.guards_intact());
    }
}

TEST(AccountLookup, UnknownNamesFailWithoutTouchingTheType) {
    for (const char *name : {"nobody-here", "SALES\\alice", "NOWHERE\\bob"}) {
        SCOPED_TRACE(name);
        Lookup l(name);
        EXPECT_EQ(l.result, 0);
        EXPECT_EQ(l.use, static_cast<int>(0xdeadbeef));
        EXPECT_TRUE(l.guards_intact());
    }
    EXPECT_EQ(nt_lookup_account_name(nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr), 0);
}

// "CORP\" names nothing; the empty name, retried, is this machine's domain.
TEST(AccountLookup, AnEmptyNameIsThisMachinesDomain) {
    Lookup l("");
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.use, NT_SID_DOMAIN);
    EXPECT_EQ(sid_text(l.sid), account_domain_text());
    EXPECT_STREQ(l.qualified, "WS01\\");
}

TEST(AccountLookup, TooSmallBuffersFail) {
    Lookup small_sid("bob", 8);
    EXPECT_EQ(small_sid.result, 0);
    Lookup small_domain("bob", NTX_SID_SIZE, 4);
    EXPECT_EQ(small_domain.result, 0);
    EXPECT_TRUE(small_sid.guards_intact());
    EXPECT_TRUE(small_domain.guards_intact());
}

TEST(AccountLookup, LongNamesAreCutToTheQualifiedBuffer) {
    std::string long_name(400, 'x');
    Lookup l(long_name.c_str());
    EXPECT_EQ(l.result, 0);
    EXPECT_TRUE(l.guards_intact());
    EXPECT_LT(std::strlen(l.qualified), static_cast<size_t>(NT_QUALIFIED_NAME_SIZE));
    EXPECT_EQ(std::string(l.qualified).rfind("CORP\\xxx", 0), 0u);
}

TEST(AccountLookup, SmallQuestionsAboutNames) {
    char text[100];
    ASSERT_EQ(nt_get_user_sid_str("bob", text, sizeof text), 0);
    EXPECT_EQ(text, kCorp + "-1106");
    EXPECT_EQ(nt_get_user_sid_str("Domain Users", text, sizeof text), -1) << "a group";
    EXPECT_EQ(nt_get_user_sid_str("nobody-here", text, sizeof text), -1);
    ASSERT_EQ(nt_get_domain_sid_str_user("carol", text, sizeof text), 0);
    EXPECT_EQ(text, kSales);
    char cut[12];
    std::memset(cut, 0xCC, sizeof cut);
    ASSERT_EQ(nt_get_user_sid_str("bob", cut, 8), 0);
    EXPECT_STREQ(cut, "S-1-5-2");
    EXPECT_EQ(cut[8], kPoison);
    EXPECT_EQ(nt_is_well_known_group_cred("Everyone"), 1);
    EXPECT_EQ(nt_is_well_known_group_cred("Domain Users"), 0);
    EXPECT_EQ(nt_is_well_known_group_cred("bob"), 0);
}

TEST(TokenQueries, TheProcessTokensUser) {
    char text[100];
    ASSERT_EQ(nt_get_sid_str(text, sizeof text), 0);
    EXPECT_EQ(text, kCorp + "-1105");
    ASSERT_EQ(nt_get_domain_sid_str(text, sizeof text), 0);
    EXPECT_EQ(text, kCorp);
    PSID domain = reinterpret_cast<PSID>(static_cast<uintptr_t>(0xdeadbeef));
    ASSERT_EQ(nt_get_domain_sid(&domain), 0);
    EXPECT_EQ(sid_text(domain), kCorp);
    std::free(domain);
    char name[8];
    std::memset(name, 0xCC, sizeof name);
    ASSERT_EQ(nt_get_domain_name(name, 6), 0);
    EXPECT_STREQ(name, "CORP");
    EXPECT_EQ(name[6], kPoison);
    EXPECT_EQ(nt_is_domain_user(), 1);
    EXPECT_STREQ(nt_getlogin(), "CORP\\alice");
    EXPECT_EQ(nt_getlogin(), nt_getlogin()) << "one buffer of the process";
}

TEST(TokenQueries, TheImpersonationToken) {
    HANDLE token = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xdeadbeef));
    EXPECT_EQ(nt_get_impersonation_token(&token), 0);
    EXPECT_EQ(token, INVALID_HANDLE_VALUE) << "not impersonating";
    HANDLE bob = nullptr;
    ASSERT_TRUE(quarn::win32::logon_account("bob", &bob));
    ASSERT_TRUE(ImpersonateLoggedOnUser(bob));
    ASSERT_EQ(nt_get_impersonation_token(&token), 0);
    ASSERT_NE(token, INVALID_HANDLE_VALUE);
    alignas(8) BYTE buffer[100];
    DWORD needed = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed));
    EXPECT_EQ(sid_text(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid), kCorp + "-1106");
    TOKEN_TYPE type = TokenImpersonation;
    ASSERT_TRUE(GetTokenInformation(token, TokenType, &type, sizeof type, &needed));
    EXPECT_EQ(type, TokenPrimary);
    CloseHandle(token);
    RevertToSelf();
    CloseHandle(bob);
}

TEST(TokenQueries, ThePrimaryController) {
    char name[16];
    std::memset(name, 0xCC, sizeof name);
    ASSERT_EQ(nt_get_pdc_name(name, sizeof name), 1);
    EXPECT_STREQ(name, "\\\\DC1");
    std::memset(name, 0xCC, sizeof name);
    ASSERT_EQ(nt_get_pdc_name(name, 4), 1);
    EXPECT_STREQ(name, "\\\\D");
    EXPECT_EQ(name[4], kPoison);
}

// The thread's token changes under the library's kept answers until the flush.
class Flush : public testing::Test {
protected:
    void impersonate(const char *name) {
        HANDLE token = nullptr;
        ASSERT_TRUE(quarn::win32::logon_account(name, &token));
        ASSERT_TRUE(ImpersonateLoggedOnUser(token));
        CloseHandle(token);
    }
    void TearDown() override {
        RevertToSelf();
        nt_revert_to_self();
    }
    static std::string user() {
        PSID sid = nullptr;
        return nt_get_user_sid(&sid) ? sid_text(sid) : "<none>";
    }
};

TEST_F(Flush, TokenAnswersAreKeptUntilTheFlush) {
    EXPECT_EQ(user(), kCorp + "-1105");
    EXPECT_STREQ(nt_getlogin(), "CORP\\alice");
    impersonate("bob");
    EXPECT_EQ(user(), kCorp + "-1105") << "the thread's kept copy";
    nt_impersonate_user();
    EXPECT_EQ(user(), kCorp + "-1106");
    EXPECT_STREQ(nt_getlogin(), "CORP\\bob");
    RevertToSelf();
    nt_revert_to_self();
    EXPECT_EQ(user(), kCorp + "-1105");
    EXPECT_STREQ(nt_getlogin(), "CORP\\alice");
}

TEST_F(Flush, ThePrefixFollowsTheNewUser) {
    EXPECT_STREQ(Lookup("bob").qualified, "CORP\\bob");
    impersonate("SALES\\carol");
    nt_impersonate_user();
    Lookup l("bob");
    ASSERT_EQ(l.result, 1);
    EXPECT_STREQ(l.qualified, "SALES\\bob");
    EXPECT_EQ(sid_text(l.sid), kSales + "-1302");
}

TEST_F(Flush, TheLogonSessionSidIsSearchedAgain) {
    PSID mine = nt_get_enum_sid(NT_ENUM_SID_LOGON_SESSION);
    ASSERT_NE(mine, nullptr);
    std::string before = sid_text(mine);
    impersonate("bob");  // an interactive logon of its own
    nt_impersonate_user();
    PSID bobs = nt_get_enum_sid(NT_ENUM_SID_LOGON_SESSION);
    ASSERT_NE(bobs, nullptr);
    EXPECT_NE(sid_text(bobs), before);
}

// The flush empties the calling thread's copies only.
TEST_F(Flush, OtherThreadsKeepTheirOwnCopies) {
    std::promise<void> impersonating, flushed;
    std::string before, after_other_flush, after_own_flush;
    std::thread other([&] {
        before = user();
        impersonate("bob");
        impersonating.set_value();
        flushed.get_future().wait();
        after_other_flush = user();
        nt_impersonate_user();
        after_own_flush = user();
        RevertToSelf();
    });
    impersonating.get_future().wait();
    nt_impersonate_user();
    flushed.set_value();
    other.join();
    EXPECT_EQ(before, kCorp + "-1105");
    EXPECT_EQ(after_other_flush, kCorp + "-1105");
    EXPECT_EQ(after_own_flush, kCorp + "-1106");
}

// The qualification settings are read once per process, so each setting is
// tried in a process of its own.
class QualificationSettings : public testing::Test {
protected:
    static constexpr int kLookupOnlyFqNames = 11, kDisableDomainPrefix = 28;
    void TearDown() override {
        ntregy_del_param(kLookupOnlyFqNames, nullptr);
        ntregy_del_param(kDisableDomainPrefix, nullptr);
    }
    static void set(int setting, DWORD value) { ASSERT_EQ(ntregy_set_param(setting, &value, nullptr), 0); }
    static std::string lookup_elsewhere(const char *name) {
        auto child = quarn::test::run_child({QUARN_IDENTITY_HELPER, "lookup", name});
        EXPECT_EQ(child.exit_code, 0) << child.err;
        return child.out;
    }
};

TEST_F(QualificationSettings, WithoutSettingsBareNamesAreRetried) {
    EXPECT_EQ(lookup_elsewhere("carol"), "SALES\\carol " + kSales + "-1300 1\n");
    EXPECT_EQ(lookup_elsewhere("root"), "CORP\\root " + kCorp + "-1500 1\n");
}

TEST_F(QualificationSettings, OnlyQualifiedNamesMeansNoRetry) {
    set(kLookupOnlyFqNames, 1);
    EXPECT_EQ(lookup_elsewhere("carol"), "failed\n");
    EXPECT_EQ(lookup_elsewhere("bob"), "CORP\\bob " + kCorp + "-1106 1\n");
    EXPECT_EQ(lookup_elsewhere("SALES\\carol"), "SALES\\carol " + kSales + "-1300 1\n");
}

TEST_F(QualificationSettings, ZeroIsOff) {
    set(kLookupOnlyFqNames, 0);
    set(kDisableDomainPrefix, 0);
    EXPECT_EQ(lookup_elsewhere("carol"), "SALES\\carol " + kSales + "-1300 1\n");
    EXPECT_EQ(lookup_elsewhere("root"), "CORP\\root " + kCorp + "-1500 1\n");
}

TEST_F(QualificationSettings, WithoutThePrefixNamesAreLookedUpAsGiven) {
    set(kDisableDomainPrefix, 1);
    set(kLookupOnlyFqNames, 1);  // has no say without the prefix
    EXPECT_EQ(lookup_elsewhere("CORP\\bob"), "CORP\\bob " + kCorp + "-1106 1\n");
    EXPECT_EQ(lookup_elsewhere("carol"), "SALES\\carol " + kSales + "-1300 1\n");
    // the local root, no longer hidden behind CORP's
    EXPECT_EQ(lookup_elsewhere("root"), "WS01\\root " + account_domain_text() + "-1000 1\n");
}

}  // namespace
