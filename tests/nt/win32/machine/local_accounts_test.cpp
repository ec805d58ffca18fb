// This machine's own accounts from NSS, with their algorithmic RIDs.
#include <grp.h>
#include <gtest/gtest.h>

#include "machine/local_accounts.h"

namespace {

using namespace quarn::win32;

TEST(LocalAccounts, RootByNameInAnyCaseAndById) {
    for (const char *name : {"root", "ROOT", "Root"}) {
        SCOPED_TRACE(name);
        auto user = local_user_named(name);
        ASSERT_TRUE(user);
        EXPECT_EQ(user->name, "root");
        EXPECT_EQ(user->uid, 0u);
    }
    EXPECT_EQ(local_user_with_uid(0)->name, "root");
    EXPECT_FALSE(local_user_named(""));
    EXPECT_FALSE(local_user_named("no-such-user-here"));
    auto group = local_group_with_gid(0);
    ASSERT_TRUE(group);
    EXPECT_EQ(local_group_named(group->name)->gid, 0u);
}

TEST(LocalAccounts, RidsKeepUsersAndGroupsApart) {
    EXPECT_EQ(user_rid(0), 1000u);
    EXPECT_EQ(group_rid(0), 1001u);
    EXPECT_EQ(user_rid(65534), 1000u + 2 * 65534u);
    EXPECT_FALSE(user_rid(0xFFFFFFFFu));
    EXPECT_FALSE(group_rid(0x7FFFFFFFu));
    struct Case {
        DWORD rid;
        bool user;
        bool group;
    } cases[] = {{1000, true, false}, {1001, false, true}, {999, false, false}, {500, false, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rid);
        LocalAccount account = local_account_with_rid(c.rid);
        EXPECT_EQ(account.user.has_value(), c.user);
        EXPECT_EQ(account.group.has_value(), c.group);
    }
    EXPECT_EQ(local_account_with_rid(1000).user->name, "root");
    EXPECT_EQ(local_account_with_rid(1001).group->gid, 0u);
}

TEST(LocalAccounts, GroupsOfAUserStartWithTheirPrimaryGroup) {
    auto root = local_user_named("root");
    ASSERT_TRUE(root);
    auto groups = local_groups_of(*root);
    ASSERT_FALSE(groups.empty());
    EXPECT_EQ(groups[0].gid, root->gid);
    for (size_t i = 1; i < groups.size(); ++i) {
        SCOPED_TRACE(groups[i].name);
        EXPECT_NE(groups[i].gid, root->gid);
        EXPECT_NE(std::find(groups[i].members.begin(), groups[i].members.end(), "root"), groups[i].members.end());
    }
}

TEST(LocalAccounts, TheFullNameIsTheGecosUpToItsFirstComma) {
    LocalUser u;
    struct Case {
        const char *gecos;
        const char *full_name;
    } cases[] = {{"Alice Smith,Room 4,555,", "Alice Smith"}, {"Bob", "Bob"}, {"", ""}, {",x", ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.gecos);
        u.gecos = c.gecos;
        EXPECT_EQ(full_name_of(u), c.full_name);
    }
}

}  // namespace
