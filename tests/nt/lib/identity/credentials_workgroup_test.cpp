// Network credentials of a local account on a workgroup machine: the name
// MACHINE\account, no global groups, then the local groups: the account's
// Linux groups and the builtin ones.
#include <gtest/gtest.h>

#include "credentials_support.h"
#include "machine/local_accounts.h"
#include "domain_test_support.h"

namespace {

TEST(WorkgroupCredentials, ALocalAccount) {
    auto daemon = quarn::win32::local_user_named("daemon");
    if (!daemon) GTEST_SKIP() << "no daemon account";
    std::string domain = quarn::test::account_domain_text();
    std::string user = domain + "-" + std::to_string(1000 + 2 * daemon->uid);
    std::string expected = "STANDALONE\\daemon " + user + " " + domain + "-" + std::to_string(1001 + 2 * daemon->gid) + "\n";
    for (const auto &g : quarn::win32::local_groups_of(*daemon))
        expected += "STANDALONE\\" + g.name + " " + domain + "-" + std::to_string(1001 + 2 * g.gid) + "\n";
    expected += "BUILTIN\\Users S-1-5-32-545\n";
    EXPECT_EQ(quarn::test::credentials_text("daemon"), expected);
    EXPECT_EQ(quarn::test::credentials_text("STANDALONE\\daemon"), expected);
}

}  // namespace
