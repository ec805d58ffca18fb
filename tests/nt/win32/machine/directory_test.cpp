// The directory of machine.toml: the checks of the domain, trust and machine
// keys, and the model built from the profiles in tests/machines/.
#include <gtest/gtest.h>

#include <filesystem>

#include "machine/directory.h"
#include "machine/machine.h"
#include "temp_prefix.h"

namespace {

using quarn::win32::Directory;
using quarn::win32::Host;
using quarn::win32::MachineConfig;
using quarn::win32::MachineConfigError;

std::string error_of(const std::string &text) {
    try {
        Directory(MachineConfig::parse(text, "/p/machine.toml"), "HOST", {1, 2, 3});
    } catch (const MachineConfigError &e) {
        return e.what();
    }
    return "";
}

Directory load_profile(const char *name) {
    auto file = std::filesystem::path(QUARN_MACHINES_DIR) / name;
    return Directory(MachineConfig::load(file), "WS01", {1, 2, 3});
}

TEST(DirectoryConfig, BadKeysNameTheFileLineAndKey) {
    const std::string domain = "[domain]\nname = \"CORP\"\nsid = \"S-1-5-21-7-8-9\"\n";
    const std::string trust = "[[trusted]]\nname = \"SALES\"\nsid = \"S-1-5-21-4-5-6\"\n";
    struct Case {
        std::string text;
        const char *error;
    } cases[] = {
        {"[domain]\nname = 5\n", "/p/machine.toml:2: domain.name: expected a string"},
        {"[domain]\nname = \"CORP\"\ncontrollers = [\"DC1\"]\n", "/p/machine.toml:3: domain.controllers: belongs to a domain"},
        {"[domain]\nsid = \"S-1-5-21-1-2-3\"\n", "/p/machine.toml:2: domain.sid: needs domain.name"},
        {"[domain]\nname = \"CORP\"\nsid = \"S-1-5-32\"\n", "/p/machine.toml:3: domain.sid: expected a domain SID"},
        {"[domain]\nguid = \"5c9d4c8e-1b2a\"\n", "/p/machine.toml:2: domain.guid: expected a GUID text"},
        {"[domain]\nposix_offset = 1\n", "/p/machine.toml:2: domain.posix_offset: unknown key"},
        {domain + "[[domain.users]]\nname = \"alice\"\n", "/p/machine.toml:4: domain.users.0: needs a name and a rid"},
        {domain + "[[domain.users]]\nname = \"alice\"\nrid = -1\n", "/p/machine.toml:6: domain.users.0.rid: expected an integer from 0"},
        {domain + "[[domain.users]]\nname = \"a\"\nrid = 7\n[[domain.groups]]\nname = \"g\"\nrid = 7\n",
         "/p/machine.toml:9: domain.groups.0.rid: repeats the rid of another account"},
        {domain + "[[domain.users]]\nname = \"a\"\nrid = 7\n[[domain.users]]\nname = \"A\"\nrid = 8\n",
         "/p/machine.toml:8: domain.users.1.name: repeats the name of another account"},
        {domain + "[[domain.groups]]\nname = \"g\"\nrid = 9\nmembers = \"a\"\n",
         "/p/machine.toml:7: domain.groups.0.members: expected an array of strings"},
        {"[trusted]\nname = \"SALES\"\n", "/p/machine.toml:1: trusted: expected an array of tables"},
        {"[[trusted]]\nname = \"SALES\"\n", "/p/machine.toml:1: trusted.0: needs a name and a sid"},
        {trust + "posix_offset = \"big\"\n", "/p/machine.toml:4: trusted.0.posix_offset: expected an integer"},
        {trust + "colour = 1\n", "/p/machine.toml:4: trusted.0.colour: unknown key"},
        {trust + "[[trusted.users]]\nname = \"c\"\nrid = 1\nshell = \"sh\"\n",
         "/p/machine.toml:7: trusted.0.users.0.shell: unknown key"},
        {domain + "[[trusted]]\nname = \"corp\"\nsid = \"S-1-5-21-4-5-6\"\n",
         "/p/machine.toml:5: trusted.0.name: names a domain that is known already"},
        {domain + "[[trusted]]\nname = \"SALES\"\nsid = \"S-1-5-21-7-8-9\"\n",
         "/p/machine.toml:6: trusted.0.sid: is the SID of another domain"},
        {trust.substr(0, trust.find("sid")) + "sid = \"S-1-5-21-1-2-3\"\n",  // this machine's account domain
         "/p/machine.toml:3: trusted.0.sid: is the SID of another domain"},
        {"[[trusted]]\nname = \"HOST\"\nsid = \"S-1-5-21-4-5-6\"\n", "/p/machine.toml:2: trusted.0.name: names a domain"},
        {"[[machines]]\nanswers = \"yes\"\n", "/p/machine.toml:2: machines.0.answers: expected true or false"},
        {"[[machines]]\nanswers = true\n", "/p/machine.toml:1: machines.0: needs a name"},
        {"[[machines]]\nname = \"NAS\"\n[[machines]]\nname = \"nas\"\n",
         "/p/machine.toml:4: machines.1.name: repeats the name of another machine"},
        {"[[machines]]\nname = \"NAS\"\ndomain_sid = \"S-1-x\"\n", "/p/machine.toml:3: machines.0.domain_sid: expected a SID"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        std::string error = error_of(c.text);
        EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error) << error;
    }
}

TEST(DirectoryConfig, NoFileIsAWorkgroupNamedWorkgroup) {
    Directory d(MachineConfig{}, "HOST", {1, 2, 3});
    EXPECT_EQ(d.primary(), nullptr);
    EXPECT_EQ(d.primary_name(), "WORKGROUP");
    EXPECT_TRUE(d.trusted().empty());
    EXPECT_EQ(d.account_domain_sid().text(), "S-1-5-21-1-2-3");
}

TEST(Directory, MemberProfileHoldsTheDomainsAndTheirAccounts) {
    Directory d = load_profile("member.toml");
    ASSERT_NE(d.primary(), nullptr);
    EXPECT_EQ(d.primary()->name, "CORP");
    EXPECT_EQ(d.primary()->sid.text(), "S-1-5-21-1111111111-2222222222-3333333333");
    EXPECT_EQ(d.primary()->controllers, (std::vector<std::string>{"DC1", "DC2", "DC3"}));
    EXPECT_TRUE(d.primary()->directory_service);
    EXPECT_EQ(d.primary()->guid.Data1, 0x5c9d4c8eu);
    EXPECT_EQ(d.primary()->guid.Data4[7], 0x5f);
    ASSERT_EQ(d.trusted().size(), 2u);
    EXPECT_EQ(d.trusted()[0].posix_offset, 0x200000u);
    EXPECT_FALSE(d.trusted()[1].posix_offset);
    EXPECT_EQ(d.domain_named("Corp.Example.COM"), d.primary());
    EXPECT_EQ(d.domain_named("legacy"), &d.trusted()[1]);
    EXPECT_EQ(d.domain_with_sid(d.trusted()[0].sid), &d.trusted()[0]);

    const auto *alice = d.primary()->account_named("ALICE");
    ASSERT_NE(alice, nullptr);
    EXPECT_EQ(alice->rid, 1105u);
    EXPECT_EQ(alice->use, SidTypeUser);
    EXPECT_EQ(alice->primary_group, 513u);
    EXPECT_EQ(alice->home_dir, "\\\\FILES\\home\\alice");
    const auto *builders = d.primary()->account_with_rid(1200);
    ASSERT_NE(builders, nullptr);
    EXPECT_EQ(builders->use, SidTypeGroup);
    EXPECT_EQ(builders->members, (std::vector<std::string>{"bob", "SALES\\carol"}));
}

TEST(Directory, HostsAreThisComputerControllersAndListedMachines) {
    Directory d = load_profile("member.toml");
    struct Case {
        const char *name;
        bool known;
        Host::Role role;
        bool answers;
        bool session_required;
        const char *domain;
    } cases[] = {
        {"", true, Host::Role::this_computer, true, false, "CORP"},
        {"\\\\ws01", true, Host::Role::this_computer, true, false, "CORP"},
        {"DC1", true, Host::Role::controller, true, false, "CORP"},
        {"\\\\dc2", true, Host::Role::controller, false, false, "CORP"},
        {"NT4PDC", true, Host::Role::controller, true, true, "LEGACY"},
        {"salesdc2", true, Host::Role::controller, true, false, "SALES"},
        {"SALESDC1", true, Host::Role::controller, false, false, "SALES"},
        {"FILES", true, Host::Role::member, true, false, "CORP"},
        {"KIOSK", true, Host::Role::member, true, false, "HOMEGROUP"},
        {"GONE", true, Host::Role::member, false, false, "CORP"},
        {"NOBODY", false, Host::Role::member, false, false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto host = d.host(c.name);
        ASSERT_EQ(host.has_value(), c.known);
        if (!host) continue;
        EXPECT_EQ(host->role, c.role);
        EXPECT_EQ(host->answers, c.answers);
        EXPECT_EQ(host->session_required, c.session_required);
        EXPECT_EQ(host->domain_name, c.domain);
    }
    EXPECT_TRUE(d.host("KIOSK")->domain_sid.empty());
    EXPECT_EQ(d.host("FILES")->domain_sid, d.primary()->sid);
}

TEST(Directory, EveryProfileLoadsAsAMachine) {
    for (const auto &entry : std::filesystem::directory_iterator(QUARN_MACHINES_DIR)) {
        SCOPED_TRACE(entry.path().string());
        quarn::test::TempPrefix prefix;
        prefix.write("machine.toml", quarn::test::read_file(entry.path()));
        EXPECT_NO_THROW(quarn::win32::Machine machine(prefix.path()));
    }
}

}  // namespace
