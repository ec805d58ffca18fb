// Network credentials of local accounts on a workgroup machine: the name
// MACHINE\account, no global groups, then the local groups: the account's
// Linux groups and the builtin ones.  Linux lets a user and a group share a
// name, which Windows does not: such a group's name resolves to the user, so
// it is no group and the record fails as Windows fails it.
#include <gtest/gtest.h>

#include "credentials_support.h"
#include "domain_test_support.h"
#include "machine/local_accounts.h"

namespace {

using quarn::win32::local_groups_of;
using quarn::win32::local_user_named;

// A Linux account whose groups are all named unlike any user, or nullopt.
std::optional<quarn::win32::LocalUser> account_without_name_clash() {
    for (const char *name : {"nobody", "sync", "games", "man", "lp"}) {
        auto user = local_user_named(name);
        if (!user) continue;
        bool clash = false;
        for (const auto &g : local_groups_of(*user)) clash = clash || local_user_named(g.name).has_value();
        if (!clash) return user;
    }
    return std::nullopt;
}

TEST(WorkgroupCredentials, ALocalAccount) {
    auto user = account_without_name_clash();
    if (!user) GTEST_SKIP() << "no account whose groups are named unlike every user";
    std::string domain = quarn::test::account_domain_text();
    std::string expected = "STANDALONE\\" + user->name + " " + domain + "-" + std::to_string(1000 + 2 * user->uid) +
                           " " + domain + "-" + std::to_string(1001 + 2 * user->gid) + "\n";
    for (const auto &g : local_groups_of(*user))
        expected += "STANDALONE\\" + g.name + " " + domain + "-" + std::to_string(1001 + 2 * g.gid) + "\n";
    expected += "BUILTIN\\Users S-1-5-32-545\n";
    EXPECT_EQ(quarn::test::credentials_text(user->name.c_str()), expected);
    EXPECT_EQ(quarn::test::credentials_text(("STANDALONE\\" + user->name).c_str()), expected);
}

TEST(WorkgroupCredentials, AGroupNamedLikeAUserIsNoGroup) {
    auto daemon = local_user_named("daemon");
    if (!daemon || !quarn::win32::local_group_named("daemon")) GTEST_SKIP() << "no daemon user and group";
    EXPECT_EQ(quarn::test::credentials_text("daemon"), "<none>");
}

}  // namespace
