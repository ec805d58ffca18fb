// quarn id, getent and sid through the built binary: id(1)'s options, passwd(5)
// and group(5) lines that split on ':', getent(1)'s exit codes, and uids that
// map back to their SIDs.
#include <gmock/gmock.h>
#include <pwd.h>

#include <sstream>

#include "reg_tool_support.h"

namespace quarn::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using IdentityCommands = RegTool;

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(text);
    while (std::getline(in, field, separator)) fields.push_back(field);
    if (!text.empty() && text.back() == separator) fields.push_back("");
    return fields;
}

std::string line_of(const std::string &out, const std::string &key) {
    for (const auto &line : split(out, '\n'))
        if (line.starts_with(key)) return line.substr(key.size());
    return "";
}

TEST_F(IdentityCommands, PasswdLinesAreInPasswd5OrderWithTheSidInTheGecos) {
    const passwd *root = getpwnam("root");
    ASSERT_NE(root, nullptr);
    ChildResult uid = quarn({"id", "-u", "root"});
    ChildResult gid = quarn({"id", "-g", "root"});
    ASSERT_EQ(uid.exit_code, 0) << uid.err;
    ASSERT_EQ(gid.exit_code, 0) << gid.err;
    std::string sid = line_of(quarn({"sid", uid.out.substr(0, uid.out.size() - 1)}).out, "sid: ");
    ASSERT_THAT(sid, StartsWith("S-1-5-21-"));

    ChildResult result = quarn({"getent", "passwd", "root"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    ASSERT_EQ(result.out.back(), '\n');
    auto fields = split(result.out.substr(0, result.out.size() - 1), ':');
    ASSERT_EQ(fields.size(), 7u) << result.out;
    EXPECT_THAT(fields[0], testing::EndsWith("\\root"));
    EXPECT_EQ(fields[1], "x");
    EXPECT_EQ(fields[2] + "\n", uid.out);
    EXPECT_EQ(fields[3] + "\n", gid.out);
    EXPECT_THAT(fields[4], testing::EndsWith(",U-" + fields[0] + "," + sid));
    EXPECT_EQ(fields[5], root->pw_dir);  // Z:\root through the drive table
    EXPECT_EQ(fields[6], "/bin/sh");
}

TEST_F(IdentityCommands, GetentTakesSeveralKeysAndNumbersAndExitsWithTwoForAMissingOne) {
    std::string uid = quarn({"id", "-u", "root"}).out;
    uid.pop_back();
    ChildResult by_name = quarn({"getent", "passwd", "root"});
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        std::string out;
    };
    const Case cases[] = {
        {{"getent", "passwd", "root", uid}, 0, by_name.out + by_name.out},
        {{"getent", "passwd", "no-such-user-here", "root"}, 2, by_name.out},
        {{"getent", "passwd", "4294967295"}, 2, ""},
        {{"getent", "group", "131616"}, 0, "BUILTIN\\Administrators:x:131616:\n"},
        {{"getent", "group", "BUILTIN\\Users", "131616"}, 0,
         "BUILTIN\\Users:x:131617:\nBUILTIN\\Administrators:x:131616:\n"},
        {{"getent", "group", "no-such-group-here"}, 2, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.back());
        ChildResult result = quarn(c.args);
        EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, "");  // as getent(1): a missing key prints nothing
    }
}

TEST_F(IdentityCommands, IdOptionsPrintWhatIdPrints) {
    ChildResult full = quarn({"id", "root"});
    ASSERT_EQ(full.exit_code, 0) << full.err;
    std::string uid = line_of(full.out, "user: "), gid = line_of(full.out, "primary: ");
    uid = uid.substr(0, uid.find(' '));
    gid = gid.substr(0, gid.find(' '));
    EXPECT_THAT(full.out, StartsWith("uid=" + uid + "("));

    EXPECT_EQ(quarn({"id", "-u", "root"}).out, uid + "\n");
    EXPECT_EQ(quarn({"id", "-g", "root"}).out, gid + "\n");
    EXPECT_THAT(quarn({"id", "-un", "root"}).out, testing::EndsWith("\\root\n"));
    // -G: the primary group first, then every other group of the token once.
    auto groups = split(quarn({"id", "-G", "root"}).out, ' ');
    ASSERT_FALSE(groups.empty());
    EXPECT_EQ(groups.front(), gid);
    size_t group_lines = 0;
    for (const auto &line : split(full.out, '\n')) group_lines += line.starts_with("group: ");
    EXPECT_EQ(groups.size(), group_lines + (full.out.find("group: " + gid + " ") == std::string::npos ? 1 : 0));
    auto names = quarn({"id", "-Gn", "root"}).out;
    EXPECT_THAT(names, HasSubstr("BUILTIN\\Administrators"));

    // A uid names the same account as its name.
    EXPECT_EQ(quarn({"id", uid}).out, full.out);
    ChildResult unknown = quarn({"id", "4294967295"});
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_EQ(unknown.err, "quarn: no such user: 4294967295\n");
}

TEST_F(IdentityCommands, AUidMapsBackToItsSid) {
    struct Case {
        const char *sid;
        const char *uid;
    };
    const Case cases[] = {{"S-1-5-32-544", "131616"}, {"S-1-5-32-545", "131617"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sid);
        ChildResult forward = quarn({"sid", c.sid});
        ASSERT_EQ(forward.exit_code, 0) << forward.err;
        EXPECT_THAT(line_of(forward.out, "uid: "), StartsWith(std::string(c.uid) + " "));
        ChildResult back = quarn({"sid", c.uid});
        ASSERT_EQ(back.exit_code, 0) << back.err;
        EXPECT_EQ(back.out, forward.out);
    }
    ChildResult none = quarn({"sid", "65536"});  // below every domain's base
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_EQ(none.err, "quarn: no domain gives out the uid 65536\n");
}

}  // namespace
}  // namespace quarn::test
