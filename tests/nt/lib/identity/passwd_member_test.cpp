// Passwd and group records on the member profile (tests/machines/member.toml),
// logged on as CORP\alice: names, SIDs, primary groups, gecos cut from the
// full name, home directories from the domain's controllers (one of them
// reached over a null session), DisableGecos, and the group look-ups.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "domain_test_support.h"
#include "nt.h"
#include "ntregy.h"
#include "ntx.h"
#include "shell.h"
#include "win32.h"

namespace {

using quarn::test::Sid;
using quarn::test::sid_text;

const std::string kCorp = "S-1-5-21-1111111111-2222222222-3333333333";
const std::string kSales = "S-1-5-21-444444444-555555555-666666666";
const std::string kLegacy = "S-1-5-21-777777777-888888888-999999999";
constexpr int kDisableGecos = 66;

std::string alices_profile() {
    char path[MAX_PATH + 1];
    return SHGetFolderPathA(nullptr, CSIDL_PROFILE | CSIDL_FLAG_CREATE, nullptr, 0, path) == S_OK ? path : "<none>";
}

struct PasswdCase {
    const char *name;
    const char *record_name;
    std::string sid, primary_group;
    const char *gecos;
    std::string dir;
};

void expect_record(const nt_passwd *pw, const PasswdCase &c) {
    ASSERT_NE(pw, nullptr);
    EXPECT_STREQ(pw->pw_name, c.record_name);
    EXPECT_EQ(sid_text(pw->pw_sid), c.sid);
    EXPECT_EQ(sid_text(pw->pw_primary_group), c.primary_group);
    EXPECT_STREQ(pw->pw_gecos, c.gecos);
    EXPECT_EQ(pw->pw_dir, c.dir);
}

std::vector<PasswdCase> users() {
    return {
        // the current user's directory is her profile folder
        {"alice", "CORP\\alice", kCorp + "-1105", kCorp + "-513", "Smith", alices_profile()},
        {"bob", "CORP\\bob", kCorp + "-1106", kCorp + "-1200", "Bob Jones", ""},
        {"CORP\\Jürgen", "CORP\\Jürgen", kCorp + "-1107", kCorp + "-513", "Jürgen Weiß", ""},
        // SALES's primary controller is down: its backup answers
        {"carol", "SALES\\carol", kSales + "-1300", kSales + "-513", "Carol White", "\\\\SALESDC2\\home\\carol"},
        {"SALES\\bob", "SALES\\bob", kSales + "-1302", kSales + "-513", "Bob from Sales", ""},
        // LEGACY's controller answers only over a null session
        {"dave", "LEGACY\\dave", kLegacy + "-1010", kLegacy + "-513", "Dave Old", ""},
    };
}

TEST(Passwd, ByName) {
    for (const auto &c : users()) {
        SCOPED_TRACE(c.name);
        expect_record(nt_getpwnam_sid(c.name), c);
    }
}

TEST(Passwd, BySid) {
    for (auto c : users()) {
        SCOPED_TRACE(c.name);
        Sid sid(c.sid);
        expect_record(nt_getpwsid_sid(sid.p), c);
    }
}

TEST(Passwd, OnlyUsersHaveRecords) {
    for (const char *name : {"Domain Users", "Everyone", "BUILTIN\\Administrators", "nobody-here", "CORP"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(nt_getpwnam_sid(name), nullptr);
    }
    for (const std::string &text : {kCorp + "-513", std::string("S-1-5-32-544"), kCorp + "-4242", kCorp}) {
        SCOPED_TRACE(text);
        Sid sid(text);
        EXPECT_EQ(nt_getpwsid_sid(sid.p), nullptr);
    }
    EXPECT_EQ(nt_getpwnam_sid(nullptr), nullptr);
    EXPECT_EQ(nt_getpwsid_sid(nullptr), nullptr);
}

TEST(Passwd, OneRecordPerFunctionAndThread) {
    nt_passwd *bob = nt_getpwnam_sid("bob");
    ASSERT_NE(bob, nullptr);
    char *name_buffer = bob->pw_name;
    Sid carol(kSales + "-1300");
    nt_passwd *by_sid = nt_getpwsid_sid(carol.p);
    ASSERT_NE(by_sid, bob);
    EXPECT_STREQ(bob->pw_name, "CORP\\bob") << "the other function has its own record";
    std::string other_threads;
    std::thread([&] {
        nt_passwd *mine = nt_getpwnam_sid("dave");
        other_threads = mine ? mine->pw_name : "<none>";
    }).join();
    EXPECT_EQ(other_threads, "LEGACY\\dave");
    EXPECT_STREQ(bob->pw_name, "CORP\\bob") << "another thread has its own record";
    nt_passwd *alice = nt_getpwnam_sid("alice");
    EXPECT_EQ(alice, bob);
    EXPECT_EQ(alice->pw_name, name_buffer) << "buffers reused";
    EXPECT_STREQ(alice->pw_name, "CORP\\alice");
}

class DisableGecos : public testing::Test {
protected:
    void TearDown() override { ntregy_del_param(kDisableGecos, nullptr); }
    static void set(DWORD value) { ASSERT_EQ(ntregy_set_param(kDisableGecos, &value, nullptr), 0); }
};

TEST_F(DisableGecos, OneLeavesGecosAndDirEmptyButTheUsersOwnDir) {
    set(1);
    for (auto c : users()) {
        SCOPED_TRACE(c.name);
        c.gecos = "";
        if (c.sid != kCorp + "-1105") c.dir = "";
        expect_record(nt_getpwnam_sid(c.name), c);
    }
}

TEST_F(DisableGecos, OtherValuesDoNot) {
    for (DWORD value : {0u, 2u}) {
        SCOPED_TRACE(value);
        set(value);
        expect_record(nt_getpwnam_sid("carol"), users()[3]);
    }
}

TEST(Groups, ByName) {
    struct Case {
        const char *name, *record_name;
        std::string sid;
    } cases[] = {
        {"Domain Users", "CORP\\Domain Users", kCorp + "-513"},
        {"SALES\\Sales Staff", "SALES\\Sales Staff", kSales + "-1301"},
        {"Sales Staff", "SALES\\Sales Staff", kSales + "-1301"},
        {"BUILTIN\\Administrators", "BUILTIN\\Administrators", "S-1-5-32-544"},
        {"Everyone", "Everyone", "S-1-1-0"},
        {"NT AUTHORITY\\SYSTEM", "NT AUTHORITY\\SYSTEM", "S-1-5-18"},
        {"nt authority\\Authenticated Users", "nt authority\\Authenticated Users", "S-1-5-11"},
        // the account database has no NT AUTHORITY\Everyone: the bare name is a well-known group
        {"NT AUTHORITY\\Everyone", "NT AUTHORITY\\Everyone", "S-1-1-0"},
        {"nt authority\\CREATOR OWNER", "nt authority\\CREATOR OWNER", "S-1-3-0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        nt_group *gr = nt_getgrnam_sid(c.name);
        ASSERT_NE(gr, nullptr);
        EXPECT_STREQ(gr->gr_name, c.record_name);
        EXPECT_EQ(sid_text(gr->gr_sid), c.sid);
    }
}

TEST(Groups, UsersAndUnknownNamesAreNoGroups) {
    // BUILTIN\Users is an alias, not a well-known group, so NT AUTHORITY\Users is nothing
    for (const char *name : {"bob", "CORP\\alice", "nobody-here", "NT AUTHORITY\\nobody-here", "NT AUTHORITY\\",
                             "NT AUTHORITY\\Users", "NT AUTHORITY\\bob"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(nt_getgrnam_sid(name), nullptr);
    }
}

TEST(Groups, BySid) {
    struct Case {
        std::string sid;
        const char *record_name;
    } cases[] = {
        {kCorp + "-513", "CORP\\Domain Users"},
        {kCorp + "-1200", "CORP\\Builders"},
        {"S-1-5-32-544", "BUILTIN\\Administrators"},
        {"S-1-5-18", "NT AUTHORITY\\SYSTEM"},
        {"S-1-1-0", "Everyone"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        Sid sid(c.sid);
        nt_group *gr = nt_getgrsid_sid(sid.p);
        ASSERT_NE(gr, nullptr);
        EXPECT_STREQ(gr->gr_name, c.record_name);
        EXPECT_EQ(sid_text(gr->gr_sid), c.sid);
    }
}

// In Active Directory a user SID is a group only when its name names another
// account of its type; an ordinary user is none.
TEST(Groups, UserSidsAreNoGroups) {
    ASSERT_EQ(nt_is_in_active_directory(), 1);
    for (const std::string &text : {kCorp + "-1106", kSales + "-1300", kCorp + "-4242"}) {
        SCOPED_TRACE(text);
        Sid sid(text);
        EXPECT_EQ(nt_getgrsid_sid(sid.p), nullptr);
    }
    EXPECT_EQ(nt_getgrsid_sid(nullptr), nullptr);
}

}  // namespace
