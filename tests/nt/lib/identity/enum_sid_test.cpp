// The numbered well-known SIDs: the constant ones, the built ones and their
// lifetime, and the logon-session SID of the current token with the flush.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "identity/current_token.h"
#include "identity/domains.h"
#include "machine/local_accounts.h"
#include "nt.h"
#include "advapi32/token_object.h"

namespace {

std::string text_of(PSID sid) {
    char buffer[100];
    return sid && nt_sid_to_str(sid, buffer, sizeof buffer) ? buffer : "<none>";
}

TEST(EnumSids, TheNumberedTable) {
    const char *expected[NT_ENUM_SID_COUNT] = {
        "S-1-1-0",  nullptr,    "S-1-3-0",  "S-1-3-1",  "S-1-5-32-544", "S-1-5-18",  "S-1-5-2",
        "S-1-5-3",  "S-1-5-4",  "S-1-5-6",  "S-1-5-11", "S-1-2-0",      nullptr,     nullptr,
        nullptr,    nullptr,    "S-1-5-32", nullptr,    "S-1-5-1",      "S-1-5-7",   "S-1-5-8",
        "S-1-5-9",  "S-1-5-10", "S-1-5-12", "S-1-5-13", "S-1-5-32-547", "S-1-0-0",
    };
    for (int n = 0; n < NT_ENUM_SID_COUNT; ++n) {
        if (!expected[n]) continue;  // made from the domains or the token: the profile suites
        SCOPED_TRACE(n);
        PSID sid = nt_get_enum_sid(n);
        EXPECT_EQ(text_of(sid), expected[n]);
        EXPECT_EQ(nt_get_enum_sid(n), sid) << "a new SID on every call";
    }
    EXPECT_EQ(nt_get_enum_sid(NT_ENUM_SID_COUNT), nullptr);
    EXPECT_EQ(nt_get_enum_sid(-1), nullptr);
    EXPECT_EQ(nt_get_enum_sid(1000), nullptr);
}

TEST(EnumSids, TheLogonSessionSidLastsUntilTheFlush) {
    auto daemon = quarn::win32::local_user_named("daemon");
    if (!daemon) GTEST_SKIP() << "no daemon account";
    HANDLE logon = nullptr;
    ASSERT_TRUE(quarn::win32::logon_account("daemon", &logon));
    TOKEN_STATISTICS statistics{};
    DWORD needed = 0;
    ASSERT_TRUE(GetTokenInformation(logon, TokenStatistics, &statistics, sizeof statistics, &needed));
    ASSERT_TRUE(ImpersonateLoggedOnUser(logon));
    nt_forget_current_token_groups();
    ntx_forget_logon_session_sid();
    PSID first = nt_get_enum_sid(NT_ENUM_SID_LOGON_SESSION);
    EXPECT_EQ(text_of(first), "S-1-5-5-0-" + std::to_string(statistics.AuthenticationId.LowPart));
    EXPECT_EQ(nt_get_enum_sid(NT_ENUM_SID_LOGON_SESSION), first);
    RevertToSelf();
    EXPECT_EQ(nt_get_enum_sid(NT_ENUM_SID_LOGON_SESSION), first) << "searched again before the flush";
    nt_forget_current_token_groups();
    ntx_forget_logon_session_sid();

    // The process token: root's LocalSystem token holds no logon SID.
    HANDLE process = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process));
    ASSERT_TRUE(GetTokenInformation(process, TokenStatistics, &statistics, sizeof statistics, &needed));
    CloseHandle(process);
    CloseHandle(logon);
    PSID own = nt_get_enum_sid(NT_ENUM_SID_LOGON_SESSION);
    if (geteuid() == 0) EXPECT_EQ(own, nullptr);
    else EXPECT_EQ(text_of(own), "S-1-5-5-0-" + std::to_string(statistics.AuthenticationId.LowPart));
}

}  // namespace
