// machine.toml: accepted keys, and one clear error for anything else.
#include <gtest/gtest.h>

#include "machine/machine.h"
#include "temp_prefix.h"

namespace {

using quarn::win32::Machine;
using quarn::win32::MachineConfig;
using quarn::win32::MachineConfigError;

std::string error_of(const std::string &text) {
    try {
        MachineConfig::parse(text, "/p/machine.toml");
    } catch (const MachineConfigError &e) {
        return e.what();
    }
    return "";
}

TEST(MachineConfig, BadFilesNameTheFileLineAndKey) {
    struct Case {
        const char *text;
        const char *error;
    } cases[] = {
        {"[computer]\nname = \"HOST\"\ncolour = 3\n", "/p/machine.toml:3: computer.colour: unknown key"},
        {"[windows]\nmajor = \"six\"\n", "/p/machine.toml:2: windows.major: expected an integer"},
        {"[windows]\nmajor = 300\n", "/p/machine.toml:2: windows.major: expected an integer from 0 to 255"},
        {"\n[nonsense]\nx = 1\n", "/p/machine.toml:2: nonsense: unknown key"},
        {"[computer]\nname = \"MUCH-TOO-LONG-A-NAME\"\n", "/p/machine.toml:2: computer.name: expected 1 to 15 characters"},
        {"[windows]\nplatform = \"os2\"\n", "/p/machine.toml:2: windows.platform: expected one of nt|windows|win32s"},
        {"[token]\nuser = \"S-1-5-x\"\n", "/p/machine.toml:2: token.user: expected a SID text"},
        {"[windows]\nsuites = [\"terminal\", 4]\n", "/p/machine.toml:2: windows.suites: expected an array of strings"},
        {"computer = 5\n", "/p/machine.toml:1: computer: unknown key"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(error_of(c.text).substr(0, std::string(c.error).size()), c.error);
    }
}

TEST(MachineConfig, SyntaxErrorsNameTheLine) {
    std::string error = error_of("[computer]\nname = \n");
    EXPECT_EQ(error.rfind("/p/machine.toml:2: ", 0), 0u) << error;
}

TEST(Machine, DefaultsComeFromLinux) {
    quarn::test::TempPrefix prefix;
    Machine machine(prefix.path());
    EXPECT_LE(machine.computer_name().size(), 15u);
    EXPECT_FALSE(machine.computer_name().empty());
    for (char c : machine.computer_name()) EXPECT_FALSE(std::islower(static_cast<unsigned char>(c)));
    EXPECT_EQ(machine.version().major, 6u);
    EXPECT_EQ(machine.version().minor, 1u);
    EXPECT_EQ(machine.version().build, 7601u);
    EXPECT_EQ(Machine(prefix.path()).account_domain(), machine.account_domain());
}

TEST(Machine, FileOverridesLinux) {
    quarn::test::TempPrefix prefix;
    prefix.write("machine.toml",
                 "[computer]\nname = \"buildhost\"\n[windows]\nmajor = 5\nminor = 2\nbuild = 3790\n"
                 "product_type = \"server\"\nsuites = [\"Terminal\"]\n[hardware]\nprocessor_type = 586\n");
    Machine machine(prefix.path());
    EXPECT_EQ(machine.computer_name(), "BUILDHOST");
    EXPECT_EQ(machine.version().major, 5u);
    EXPECT_EQ(machine.version().build, 3790u);
    EXPECT_EQ(machine.version().product_type, VER_NT_SERVER);
    EXPECT_EQ(machine.version().suite_mask, VER_SUITE_TERMINAL);
    EXPECT_EQ(machine.processor_type(), 586u);
}

TEST(Machine, ABadFileFailsConstruction) {
    quarn::test::TempPrefix prefix;
    prefix.write("machine.toml", "[windows]\nmajor = true\n");
    try {
        Machine machine(prefix.path());
        FAIL() << "a bad file was accepted";
    } catch (const MachineConfigError &e) {
        EXPECT_NE(std::string(e.what()).find((prefix.path() / "machine.toml").string() + ":2: windows.major"),
                  std::string::npos);
    }
}

}  // namespace
