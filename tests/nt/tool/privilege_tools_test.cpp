// quarn whoami /priv, quarn group and quarn creds as an administrator runs
// them, each in a prefix of its own whose machine.toml is a test profile.
#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "temp_prefix.h"

using quarn::test::read_file;
using quarn::test::run_child;
using quarn::test::TempPrefix;

namespace {

quarn::test::ChildResult quarn_on(const TempPrefix &prefix, const std::vector<std::string> &arguments) {
    std::vector<std::string> argv{QUARN_TOOL};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return run_child(argv, {{"QUARN_PREFIX", prefix.path().string()}});
}

TEST(PrivilegeTools, WhoamiPrivListsTheTokensPrivileges) {
    TempPrefix prefix;
    prefix.write("machine.toml", read_file(QUARN_MACHINES_DIR "/filtered.toml"));
    auto r = quarn_on(prefix, {"whoami", "/priv"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("PRIVILEGES INFORMATION"), std::string::npos);
    EXPECT_NE(r.out.find("SeChangeNotifyPrivilege          Pass through folders without the right to list them  Enabled"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("SeShutdownPrivilege              Shut the machine down"), std::string::npos) << r.out;
    EXPECT_EQ(quarn_on(prefix, {"whoami", "/groups"}).exit_code, 2);
}

TEST(PrivilegeTools, GroupNameAndCreds) {
    TempPrefix prefix;
    prefix.write("machine.toml", read_file(QUARN_MACHINES_DIR "/mapping.toml"));
    auto name = quarn_on(prefix, {"group", "name"});
    EXPECT_EQ(name.exit_code, 0) << name.err;
    EXPECT_EQ(name.out, "zendrel S-1-5-21-1111-2222-3333-1205\n");
    auto creds = quarn_on(prefix, {"creds", "CORP\\bob"});
    EXPECT_EQ(creds.exit_code, 0) << creds.err;
    EXPECT_EQ(creds.out,
              "user: CORP\\bob S-1-5-21-1111-2222-3333-1106\nprimary group: S-1-5-21-1111-2222-3333-1201\ngroups: 2\n"
              "group: S-1-5-21-1111-2222-3333-1201 CORP\\Builders\ngroup: S-1-5-21-1111-2222-3333-513 CORP\\Domain Users\n");
    auto nobody = quarn_on(prefix, {"creds", "Builders"});
    EXPECT_EQ(nobody.exit_code, 1);
    EXPECT_NE(nobody.err.find("no credentials for Builders"), std::string::npos);
    // Without an installation there is no InstallConfiguration to switch.
    EXPECT_EQ(quarn_on(prefix, {"group", "scramble"}).exit_code, 1);
}

}  // namespace
