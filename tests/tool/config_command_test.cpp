// quarn config through the built binary: settings by name land under the
// right root with the right type, read back as they were written, and go
// away again; the list shows every setting of the table.
#include <gmock/gmock.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "reg_tool_support.h"

namespace quarn::test {
namespace {

using ::testing::HasSubstr;
using ConfigCommand = RegTool;

const std::string kMachineKey = "HKLM\\Software\\Quarn\\Zendrel\\CurrentVersion";
const std::string kUserKey = "HKCU\\Software\\Quarn\\Zendrel\\CurrentVersion";

TEST_F(ConfigCommand, WritesEachTypeUnderItsRootAndReadsItBack) {
    struct Case {
        std::vector<std::string> set;  // after "config set"
        std::string name;              // the value name in the registry
        std::string key;
        std::string stored;  // reg query's line for it
        std::string got;     // config get's output
    };
    const Case cases[] = {
        {{"LargeRIDs", "0x10"}, "LargeRIDs", kMachineKey, "REG_DWORD    0x10", "16\n"},
        {{"largerids", "4294967295"}, "LargeRIDs", kMachineKey, "REG_DWORD    0xffffffff", "4294967295\n"},
        {{"41", "0"}, "LargeRIDs", kMachineKey, "REG_DWORD    0x0", "0\n"},
        {{"MAILDOMAINNAME", "example.com"}, "MailDomainName", kMachineKey, "REG_SZ    example.com", "example.com\n"},
        {{"CredmapAllowedDomainList", "CORP", "LAB NET"},
         "CredmapAllowedDomainList",
         kMachineKey,
         "REG_MULTI_SZ    CORP\\0LAB NET",
         "CORP\nLAB NET\n"},
        {{"PersistentVOBs", "\\vob1,\\vob2"}, "PersistentVOBs", kUserKey, "REG_SZ    \\vob1,\\vob2", "\\vob1,\\vob2\n"},
        {{"--hkcu", "DomainMappingEnabled", "1"}, "DomainMappingEnabled", kUserKey, "REG_DWORD    0x1", ""},
        {{"--hklm", "DomainMappingEnabled", "2"}, "DomainMappingEnabled", kMachineKey, "REG_DWORD    0x2", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.set.front());
        std::vector<std::string> args{"config", "set"};
        args.insert(args.end(), c.set.begin(), c.set.end());
        ChildResult set = quarn(args);
        ASSERT_EQ(set.exit_code, 0) << set.err;
        EXPECT_EQ(set.out, "");
        ChildResult query = reg({"query", c.key, "/v", c.name});
        EXPECT_THAT(query.out, HasSubstr("    " + c.name + "    " + c.stored + "\n"));
        if (c.got.empty()) continue;
        ChildResult get = quarn({"config", "get", c.set.front()});
        EXPECT_EQ(get.exit_code, 0) << get.err;
        EXPECT_EQ(get.out, c.got);
    }
    // Each root's DomainMappingEnabled is its own.
    EXPECT_EQ(quarn({"config", "get", "--hkcu", "DomainMappingEnabled"}).out, "1\n");
    EXPECT_EQ(quarn({"config", "get", "55"}).out, "2\n");

    ASSERT_EQ(quarn({"config", "unset", "--hkcu", "DomainMappingEnabled"}).exit_code, 0);
    EXPECT_EQ(reg({"query", kUserKey, "/v", "DomainMappingEnabled"}).out, "");
    EXPECT_EQ(quarn({"config", "get", "--hklm", "DomainMappingEnabled"}).out, "2\n");
    // Removing what is not there is what was asked for.
    EXPECT_EQ(quarn({"config", "unset", "--hkcu", "DomainMappingEnabled"}).exit_code, 0);
    ChildResult gone = quarn({"config", "get", "--hkcu", "DomainMappingEnabled"});
    EXPECT_EQ(gone.exit_code, 1);
    EXPECT_EQ(gone.err, "quarn: DomainMappingEnabled is not set in "
                        "HKEY_CURRENT_USER\\Software\\Quarn\\Zendrel\\CurrentVersion\n");
}

TEST_F(ConfigCommand, ListsEverySettingWithItsRootTypeAndValue) {
    ASSERT_EQ(quarn({"config", "set", "MailDomainName", "example.com"}).exit_code, 0);
    ChildResult list = quarn({"config", "list"});
    ASSERT_EQ(list.exit_code, 0) << list.err;
    std::istringstream lines(list.out);
    std::set<int> numbers;
    std::string line;
    while (std::getline(lines, line)) {
        SCOPED_TRACE(line);
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
        ASSERT_EQ(fields.size(), 5u);
        int number = std::stoi(fields[0]);
        EXPECT_TRUE(numbers.insert(number).second);
        EXPECT_THAT((std::vector<std::string>{"machine", "user"}), testing::Contains(fields[2]));
        EXPECT_THAT((std::vector<std::string>{"number", "string", "string list"}), testing::Contains(fields[3]));
        if (fields[1] == "MailDomainName") EXPECT_EQ(fields[4], "example.com");
        if (fields[1] == "HostData") EXPECT_EQ(fields[4], "C:\\ProgramData\\Quarn\\Zendrel");  // written by setup
        if (fields[1] == "LargeRIDs") EXPECT_EQ(fields[4], "(value not set)");
    }
    // Numbers 0 to 68 without the four that name no setting.
    EXPECT_EQ(numbers.size(), 65u);
    for (int none : {4, 5, 53, 60}) EXPECT_EQ(numbers.count(none), 0u);
    EXPECT_EQ(*numbers.rbegin(), 68);
}

// Another user of the machine reads the machine's settings but may not change
// them, and is told so in words that name the key.
TEST_F(ConfigCommand, AnOrdinaryUserReadsMachineSettingsButCannotWriteThem) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    std::filesystem::permissions(prefix_.path(), std::filesystem::perms(0755));
    auto as_nobody = [&](const std::vector<std::string> &args) {
        std::vector<std::string> argv{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                      QUARN_TOOL};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_child(argv, {{"QUARN_PREFIX", prefix_.path().string()}, {"QUARN_EVENTLOG", std::nullopt}});
    };
    ChildResult read = as_nobody({"config", "get", "HostData"});
    EXPECT_EQ(read.exit_code, 0) << read.err;
    EXPECT_EQ(read.out, "C:\\ProgramData\\Quarn\\Zendrel\n");
    ChildResult write = as_nobody({"config", "set", "MailDomainName", "example.com"});
    EXPECT_EQ(write.exit_code, 1);
    EXPECT_THAT(write.err, testing::StartsWith("quarn: cannot write MailDomainName to "
                                               "HKEY_LOCAL_MACHINE\\Software\\Quarn\\Zendrel\\CurrentVersion: "));
    EXPECT_THAT(write.err, testing::EndsWith(" (5)\n"));
    EXPECT_EQ(quarn({"config", "get", "MailDomainName"}).exit_code, 1);  // nothing was written
}

}  // namespace
}  // namespace quarn::test
