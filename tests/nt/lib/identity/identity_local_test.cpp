// Identity on this Linux machine as it is (no machine.toml): root's passwd
// record against getpwnam, the home directory, the rules that cut gecos and
// qualify names, the cache dump, and uids that one process caches for
// every other process of the machine.
#include <gtest/gtest.h>
#include <pwd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "area_test_support.h"
#include "child_process.h"
#include "domain_test_support.h"
#include "machine/dos_paths.h"
#include "identity/identity.h"
#include "machine/machine.h"
#include "nt.h"
#include "ntx.h"
#include "shell.h"

namespace {

using quarn::test::account_domain_text;
using quarn::test::run_child;
using quarn::test::Sid;
using quarn::test::sid_text;

constexpr char kPoison = static_cast<char>(0xCC);

std::string helper(const std::string &command, const std::string &argument = "") {
    auto child = argument.empty() ? run_child({QUARN_IDENTITY_HELPER, command})
                                  : run_child({QUARN_IDENTITY_HELPER, command, argument});
    EXPECT_EQ(child.exit_code, 0) << child.err;
    return child.out;
}

// What a Unix program reads from the passwd database, in the record's terms.
std::string expected_gecos(const char *gecos) {
    std::string text(gecos ? gecos : "");
    text = text.substr(0, text.find_first_of(",;:([<{"));
    size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

TEST(RealMachine, RootsRecordAgreesWithGetpwnam) {
    const passwd *unix_root = getpwnam("root");
    ASSERT_NE(unix_root, nullptr);
    auto dir = quarn::win32::unix_to_dos_path(*quarn::win32::Machine::current(), unix_root->pw_dir);
    ASSERT_TRUE(dir);
    nt_passwd *pw = nt_getpwnam_sid("root");
    ASSERT_NE(pw, nullptr);
    EXPECT_STREQ(pw->pw_gecos, expected_gecos(unix_root->pw_gecos).c_str());
    EXPECT_STREQ(pw->pw_dir, dir->c_str());
    EXPECT_EQ(sid_text(pw->pw_sid), account_domain_text() + "-" + std::to_string(1000 + 2 * unix_root->pw_uid));
    EXPECT_EQ(sid_text(pw->pw_primary_group), account_domain_text() + "-" + std::to_string(1001 + 2 * unix_root->pw_gid));
    EXPECT_EQ(nt_sid_to_uid(pw->pw_sid), 0x30000u | (1000 + 2 * unix_root->pw_uid));
}

TEST(RealMachine, OutsideADomainUserSidsAreNoGroupsAndThereIsNoController) {
    nt_passwd *pw = nt_getpwnam_sid("root");
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(nt_getgrsid_sid(pw->pw_sid), nullptr);
    char name[8];
    std::memset(name, 0xCC, sizeof name);
    EXPECT_EQ(nt_get_pdc_name(name, sizeof name), 1);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(name[1], kPoison);
    nt_group *system = nt_getgrnam_sid("NT AUTHORITY\\SYSTEM");
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(sid_text(system->gr_sid), "S-1-5-18");
}

// quarn getent passwd root: a passwd(5) line whose gecos holds the SID as
// Cygwin puts it, and whose home is the Unix path.
TEST(RealMachine, TheToolsPasswdLineAgreesWithGetent) {
    const passwd *unix_root = getpwnam("root");
    ASSERT_NE(unix_root, nullptr);
    auto child = run_child({QUARN_TOOL, "getent", "passwd", "root"});
    ASSERT_EQ(child.exit_code, 0) << child.err;
    std::string name = std::string(quarn::win32::Machine::current()->computer_name()) + "\\root";
    std::string sid = account_domain_text() + "-" + std::to_string(1000 + 2 * unix_root->pw_uid);
    std::string uid = std::to_string(0x30000 | (1000 + 2 * unix_root->pw_uid));
    std::string gid = std::to_string(0x30000 | (1001 + 2 * unix_root->pw_gid));
    std::string gecos = expected_gecos(unix_root->pw_gecos);
    EXPECT_EQ(child.out, name + ":x:" + uid + ":" + gid + ":" + (gecos.empty() ? "" : gecos + ",") + "U-" + name + "," +
                             sid + ":" + unix_root->pw_dir + ":/bin/sh\n");
    child = run_child({QUARN_TOOL, "sid", "S-1-5-32-544"});
    EXPECT_EQ(child.out, "sid: S-1-5-32-544\nname: BUILTIN\\Administrators\ntype: Alias\nclass: builtin\n"
                         "uid: 131616 (0x20220)\n");
    child = run_child({QUARN_TOOL, "getent", "passwd", "nobody-here"});
    EXPECT_EQ(child.exit_code, 2);  // getent(1)'s code for a key without a record
    EXPECT_EQ(child.out, "");
}

TEST(HomeDirectory, NeedsRoomForAPath) {
    char dir[MAX_PATH + 8];
    std::memset(dir, 0xCC, sizeof dir);
    EXPECT_EQ(nt_get_my_homedir(dir, MAX_PATH), nullptr);
    EXPECT_EQ(dir[0], kPoison);
    ASSERT_EQ(nt_get_my_homedir(dir, MAX_PATH + 1), dir);
    char profile[MAX_PATH + 1];
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, 0, profile), S_OK);
    EXPECT_STREQ(dir, profile);
    EXPECT_EQ(dir[MAX_PATH + 1], kPoison);
}

TEST(Gecos, IsTheFullNameBeforeItsDecorations) {
    struct Case {
        const char16_t *full_name;
        const char *gecos;
    } cases[] = {
        {u"Smith, John (IT)", "Smith"},
        {u"Bob Jones", "Bob Jones"},
        {u"  Padded Name  ", "Padded Name"},
        {u"Name <mail@example.com>", "Name"},
        {u"A;B", "A"},
        {u"A:B", "A"},
        {u"A[B]", "A"},
        {u"A{B}", "A"},
        {u"(IT) Smith", ""},
        {u",", ""},
        {u"   ", ""},
        {u"", ""},
        {u"Jürgen Weiß", "Jürgen Weiß"},
        {nullptr, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.gecos);
        char out[257 + 4];
        std::memset(out, 0xCC, sizeof out);
        nt_gecos_of_full_name(c.full_name, out, 257);
        EXPECT_STREQ(out, c.gecos);
        EXPECT_EQ(out[257], kPoison);
    }
}

TEST(Gecos, IsAtMost256CharactersAndEmptyWhenItDoesNotFit) {
    std::u16string long_name(300, u'x');
    char out[257 + 4];
    std::memset(out, 0xCC, sizeof out);
    nt_gecos_of_full_name(long_name.c_str(), out, 257);
    EXPECT_EQ(std::string(out), std::string(256, 'x'));
    EXPECT_EQ(out[257], kPoison);
    std::memset(out, 0xCC, sizeof out);
    nt_gecos_of_full_name(u"Weiß", out, 4);  // five bytes with the terminator
    EXPECT_STREQ(out, "");
    EXPECT_EQ(out[4], kPoison);
}

TEST(Qualification, TheRecordRule) {
    struct Case {
        const char *name, *domain;
        size_t size;
        const char *result;
    } cases[] = {
        {"alice", "CORP", 322, "CORP\\alice"},
        {"CORP\\alice", "SALES", 322, "CORP\\alice"},
        {"alice", "", 322, "alice"},
        {"alice", nullptr, 322, "alice"},
        {"alice", "CORP", 11, "CORP\\alice"},  // exactly fits
        {"alice", "CORP", 10, "alice"},        // does not: the name alone
        {"alice", "CORP", 4, "ali"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.size));
        char out[322 + 4];
        std::memset(out, 0xCC, sizeof out);
        nt_qualify_account_name(c.name, c.domain, out, c.size);
        EXPECT_STREQ(out, c.result);
        EXPECT_EQ(out[c.size], kPoison);
    }
}

TEST(CacheDump, WithoutTablesEveryTitleSaysEmpty) {
    EXPECT_EQ(helper("dump-uninit"),
              "Account name->Sid\n    Empty\n\n"
              "Account name->Sid\n    Empty\n\n"
              "Sid->Uid\n    Empty\n\n"
              "Domain group SID map\n    Empty\n");
}

// The caches live in the areas of a host-data directory of the test's own.
class SharedCaches : public testing::Test {
protected:
    static void SetUpTestSuite() {
        quarn::test::use_host_data();
        nt_init();
    }
};

TEST_F(SharedCaches, TheDumpShowsTheUidsOfTheMachine) {
    std::string root = account_domain_text() + "-1000";
    Sid sid(root);
    ASSERT_EQ(nt_sid_to_uid(sid.p), 0x303E8u);
    std::string dump = helper("dump");
    EXPECT_NE(dump.find("Sid->Uid\n    " + root + " -> 197608 (0x303e8)\n"), std::string::npos) << dump;
    const std::string tail = "\nDomain group SID map\n    Empty\n";
    EXPECT_EQ(dump.substr(dump.size() - tail.size()), tail) << dump;
}

// The uid one process computed is in the machine-wide table for the next.
TEST_F(SharedCaches, ASecondProcessReadsTheUidTheFirstCached) {
    std::string builtin_users = "S-1-5-32-545";
    EXPECT_EQ(helper("cached", builtin_users), "none\n");
    Sid sid(builtin_users);
    ASSERT_EQ(nt_sid_to_uid(sid.p), 0x20221u);
    EXPECT_EQ(helper("cached", builtin_users), "0x20221\n");
    EXPECT_EQ(helper("uid", builtin_users), "0x20221\n");
}

// nt_sid_to_uid answers from the table before it computes anything: an
// entry that only the table knows is what the other process gets.
TEST_F(SharedCaches, TheOtherProcessAnswersFromTheTable) {
    ASSERT_NE(nt_sid_uid_cache, nullptr);
    Sid sid("S-1-5-21-9-9-9-1000");  // no domain of this machine: no computed uid
    EXPECT_EQ(helper("uid", "S-1-5-21-9-9-9-1000"), "none\n");
    BYTE key[kSidSize] = {};
    std::memcpy(key, sid.p, GetLengthSid(sid.p));
    DWORD planted = 0x12345;
    ASSERT_EQ(phash_enter(nt_sid_uid_cache, key, &planted, sizeof planted), 1);
    EXPECT_EQ(helper("uid", "S-1-5-21-9-9-9-1000"), "0x12345\n");
    ASSERT_EQ(phash_delete(nt_sid_uid_cache, key), 1);
}

}  // namespace
