// This machine's own accounts from NSS, with their algorithmic RIDs.
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "machine/local_accounts.h"

namespace {

using namespace quarn::win32;

std::string read_text(const char *path) {
    std::string text;
    if (FILE *f = std::fopen(path, "r")) {
        for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
        std::fclose(f);
    }
    return text;
}

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

// Answers are kept between calls, but an account added to /etc/passwd or
// /etc/group is found by the very next look-up, and one taken away is gone
// at once. The files are changed for real: a child process in a mount
// namespace of its own has copies bound over them.
TEST(LocalAccounts, ChangesToTheAccountFilesAreSeenAtOnce) {
    if (geteuid() != 0) GTEST_SKIP() << "binding over /etc needs root";
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
        char dir[] = "/tmp/quarn-accounts-XXXXXX";
        if (!mkdtemp(dir)) _exit(2);
        for (const char *file : {"passwd", "group"}) {
            std::string copy = std::string(dir) + "/" + file, real = std::string("/etc/") + file;
            std::filesystem::copy_file(real, copy);
            if (mount(copy.c_str(), real.c_str(), nullptr, MS_BIND, nullptr) != 0) _exit(77);
        }
        auto write = [](const char *file, const std::string &text, const char *mode) {
            FILE *f = std::fopen(file, mode);
            bool ok = f && std::fputs(text.c_str(), f) >= 0;
            if (f) std::fclose(f);
            if (!ok) _exit(2);
        };
        std::string passwd_before = read_text("/etc/passwd");
        int failures = 0;
        failures += local_user_named("quarnkept") || local_user_with_uid(4242) ? 1 : 0;  // now kept as missing
        failures += local_group_named("quarnkeptg") || local_group_with_gid(4243) ? 1 : 0;
        failures += local_user_with_uid(0) ? 0 : 1;  // kept as found
        write("/etc/passwd", "quarnkept:x:4242:4243:Kept:/nonexistent:/bin/false\n", "a");
        write("/etc/group", "quarnkeptg:x:4243:root\n", "a");
        auto user = local_user_named("quarnkept");
        failures += user && user->uid == 4242 && local_user_with_uid(4242) ? 0 : 1;
        auto group = local_group_with_gid(4243);
        failures += group && group->name == "quarnkeptg" && local_group_named("quarnkeptg") ? 0 : 1;
        write("/etc/passwd", passwd_before, "w");
        failures += local_user_named("quarnkept") || local_user_with_uid(4242) ? 1 : 0;
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
