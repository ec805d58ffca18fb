// quarn host, ping and dump from the command line, each in a fresh prefix.
#include <gtest/gtest.h>

#include <filesystem>

#include "child_process.h"
#include "temp_prefix.h"

namespace {

using quarn::test::run_child;

class ToolPrefix {
public:
    explicit ToolPrefix(const std::string &machine_toml = "") {
        if (!machine_toml.empty()) prefix_.write("machine.toml", machine_toml);
        EXPECT_EQ(run({"setup"}).exit_code, 0);
    }
    quarn::test::ChildResult run(std::vector<std::string> arguments,
                                 std::map<std::string, std::optional<std::string>> env = {}) const {
        arguments.insert(arguments.begin(), QUARN_TOOL);
        env["QUARN_PREFIX"] = prefix_.path().string();
        return run_child(arguments, env);
    }
    const std::filesystem::path &path() const { return prefix_.path(); }

private:
    quarn::test::TempPrefix prefix_;
};

TEST(HostTool, ShowsTheMachineAsTheLibrarySeesIt) {
    ToolPrefix prefix("[windows]\nmajor = 5\nsuites = [\"terminal\"]\n"
                      "[[network_cards]]\nname = \"eth7\"\naddress = \"02:00:00:00:00:07\"\n");
    auto r = prefix.run({"host"}, {{"LANG", "es_ES.UTF-8"}, {"LC_ALL", std::nullopt}, {"LC_MESSAGES", std::nullopt}});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    for (const char *line : {"platform: nt5 (1024), Windows 5.1 build 7601\n", "terminal server: yes, application mode\n",
                             "interface language: 0x0c0a es ES ESN\n", "  eth7             802.3    02:00:00:00:00:07\n",
                             "registered adapter addresses: 02:00:00:00:00:07\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
}

TEST(HostTool, ShowsEachDriveWithItsKinds) {
    ToolPrefix prefix;
    std::filesystem::create_directory_symlink("/dev/shm", prefix.path() / "dosdevices" / "m:");
    auto r = prefix.run({"host"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::string drive_c = std::filesystem::canonical(prefix.path() / "drive_c").string();
    for (const std::string &line :
         std::vector<std::string>{"  C: fixed     NTFS  ", "  M: ram-disk  TMPFS ", " /dev/shm\n", " " + drive_c + "\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
}

TEST(HostTool, PingExitsZeroOnlyForAHostThatAnswers) {
    ToolPrefix prefix;
    auto answers = prefix.run({"ping", "127.0.0.1"});
    EXPECT_EQ(answers.exit_code, 0);
    EXPECT_EQ(answers.out, "127.0.0.1 answers\n");
    auto silent = prefix.run({"ping", "no-such-host.invalid"});
    EXPECT_EQ(silent.exit_code, 1);
    EXPECT_EQ(silent.out, "no-such-host.invalid does not answer\n");
    EXPECT_EQ(silent.err, "");
}

TEST(HostTool, DumpWritesACoreOfTheToolAndSaysWhere) {
    ToolPrefix prefix;
    auto target = prefix.path() / "tool.core";
    auto given = prefix.run({"dump", target.string()});
    EXPECT_EQ(given.exit_code, 0) << given.err;
    EXPECT_EQ(given.out, target.string() + "\n");
    std::string core = quarn::test::read_file(target);
    EXPECT_EQ(core.substr(0, 4), "\x7f" "ELF");
    EXPECT_NE(core.find(std::string("quarn dump\0", 11)), std::string::npos);

    auto named = prefix.run({"dump"});
    EXPECT_EQ(named.exit_code, 0) << named.err;
    std::filesystem::path written = named.out.substr(0, named.out.size() - 1);
    EXPECT_EQ(written.parent_path().filename(), "log");
    EXPECT_TRUE(written.filename().string().starts_with("quarn.")) << written;
    EXPECT_TRUE(std::filesystem::exists(written));

    std::filesystem::remove_all(written.parent_path());  // no log folder: dumps are off
    auto off = prefix.run({"dump"});
    EXPECT_EQ(off.exit_code, 1);
    EXPECT_NE(off.err.find("dumps are off"), std::string::npos) << off.err;
}

}  // namespace
