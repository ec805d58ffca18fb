// The tool's conventions, through the built binary: exit codes for bad command
// lines and failed operations, --version, write errors on standard output, a
// missing prefix that no command creates, and errors in words.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "reg_tool_support.h"

namespace quarn::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Conventions = RegTool;

std::string joined(const std::vector<std::string> &args) {
    std::string text;
    for (const auto &arg : args) text += (text.empty() ? "" : " ") + arg;
    return text;
}

struct OutputRun {
    int exit_code = -1;
    int signal = 0;
    std::string err;
};

// quarn ARGS with standard output on `out`, SIGPIPE ignored or not.
OutputRun run_with_output(int out, const std::vector<std::string> &args, const std::string &prefix, bool ignore_sigpipe) {
    int err[2];
    if (pipe2(err, O_CLOEXEC) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGPIPE, ignore_sigpipe ? SIG_IGN : SIG_DFL);
        dup2(out, 1);
        dup2(err[1], 2);
        setenv("QUARN_PREFIX", prefix.c_str(), 1);
        std::vector<char *> argv{const_cast<char *>(QUARN_TOOL)};
        for (const auto &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(err[1]);
    OutputRun run;
    char buffer[4096];
    for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) run.err.append(buffer, static_cast<size_t>(n));
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    return run;
}

TEST_F(Conventions, ExitCodesSayWhetherTheCommandLineOrTheOperationFailed) {
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        const char *err;
    };
    const Case cases[] = {
        // Bad command lines: always 2, whatever the parser calls them.
        {{}, 2, "A subcommand is required"},
        {{"bogus"}, 2, "quarn: unknown command: bogus; `quarn --help` lists the commands\n"},
        {{"id", "--foo"}, 2, "--foo"},
        {{"id", "-n"}, 2, "quarn: -n needs -u, -g or -G\n"},
        {{"id", "-u", "-g"}, 2, "excludes"},
        {{"getent", "shadow", "root"}, 2, "shadow"},
        {{"getent"}, 2, "DATABASE"},
        {{"sid"}, 2, "SID_OR_NAME"},
        {{"config"}, 2, "A subcommand is required"},
        {{"config", "get"}, 2, "NAME"},
        {{"config", "get", "NoSuchSetting"}, 2, "quarn: no product setting is named NoSuchSetting"},
        {{"config", "get", "DomainMappingEnabled"}, 2, "give --hkcu or --hklm"},
        {{"config", "get", "--hkcu", "--hklm", "DomainMappingEnabled"}, 2, "excludes"},
        {{"config", "set", "LargeRIDs", "ten"}, 2, "LargeRIDs takes a number from 0 to 4294967295"},
        {{"config", "set", "LargeRIDs", "4294967296"}, 2, "LargeRIDs takes a number"},
        {{"config", "set", "LargeRIDs", "1", "2"}, 2, "LargeRIDs takes one value, a number"},
        {{"config", "set", "CredmapAllowedDomainList", "A", ""}, 2, "cannot be empty"},
        {{"config", "set", "HostData"}, 2, "VALUE"},
        {{"cache"}, 2, "A subcommand is required"},
        {{"cache", "flush", "--global", "--private"}, 2, "excludes"},
        {{"error", "zz"}, 2, "not a 32-bit error code"},
        {{"mime", "encode", "--qp", "--b64"}, 2, "excludes"},
        {{"charset", "name"}, 2, "CS"},
        // Failed operations: 1.
        {{"config", "get", "QuarnRegy"}, 1,
         "quarn: QuarnRegy is not set in HKEY_LOCAL_MACHINE\\Software\\Quarn\\Zendrel\\CurrentVersion\n"},
        {{"id", "no-such-user-here"}, 1, "quarn: no such user: no-such-user-here\n"},
        {{"sid", "S-1-bogus"}, 1, "quarn: not a SID: S-1-bogus\n"},
        {{"charset", "name", "no-such-charset"}, 1, "quarn: unknown charset: no-such-charset\n"},
        // reg.exe's own rule inside quarn reg: 1 for a bad command line too.
        {{"reg", "query"}, 1, "ERROR: Invalid syntax."},
        {{"reg", "query", "HKLM\\Software", "/bogus"}, 1, "ERROR: Invalid syntax."},
        // Answers.
        {{"--help"}, 0, ""},
        {{"config", "--help"}, 0, ""},
        {{"--version"}, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(joined(c.args));
        ChildResult result = quarn(c.args);
        EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
        EXPECT_THAT(result.err, HasSubstr(c.err));
    }
}

TEST_F(Conventions, VersionIsTheProjectsOwn) {
    ChildResult result = quarn({"--version"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, "quarn " QUARN_VERSION "\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(Conventions, NoCommandCreatesAMissingPrefix) {
    const std::string missing = path("missing");
    const std::vector<std::string> commands[] = {
        {"id"},
        {"id", "-u", "root"},
        {"getent", "passwd", "root"},
        {"getent", "group"},
        {"sid", "S-1-5-32-544"},
        {"cache", "stats"},
        {"cache", "dump"},
        {"cache", "flush"},
        {"config", "list"},
        {"config", "get", "HostData"},
        {"config", "set", "MailDomainName", "example.com"},
        {"config", "unset", "MailDomainName"},
        {"reg", "query", "HKLM\\Software"},
        {"reg", "add", "HKLM\\Software\\Example", "/f"},
        {"reg", "delete", "HKLM\\Software\\Example", "/f"},
        {"reg", "export", "HKLM\\Software", path("out.reg")},
        {"reg", "import", path("in.reg")},
    };
    for (const auto &args : commands) {
        SCOPED_TRACE(joined(args));
        std::vector<std::string> argv{QUARN_TOOL};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildResult result = run_child(argv, {{"QUARN_PREFIX", missing}});
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(result.err, "quarn: there is no prefix at " + missing + "; run `quarn setup` to create it\n");
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists(missing));
    }
    ChildResult setup = run_child({QUARN_TOOL, "setup"}, {{"QUARN_PREFIX", missing}});
    EXPECT_EQ(setup.exit_code, 0) << setup.err;
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(missing) / "registry"));
}

TEST_F(Conventions, AWriteErrorOnStandardOutputIsAFailure) {
    int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const std::vector<std::string> commands[] = {
        {"--version"}, {"error", "2"}, {"charset", "list"}, {"config", "list"}, {"getent", "group", "131616"},
    };
    for (const auto &args : commands) {
        SCOPED_TRACE(joined(args));
        OutputRun run = run_with_output(full, args, prefix_.path().string(), false);
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_THAT(run.err, HasSubstr("quarn: cannot write to standard output: No space left on device\n"));
    }
    close(full);

    // A reader that went away: SIGPIPE ends the tool, as it ends any program;
    // with SIGPIPE ignored the write fails with EPIPE and the tool says so.
    for (bool ignore : {false, true}) {
        SCOPED_TRACE(ignore ? "SIGPIPE ignored" : "SIGPIPE default");
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        close(fds[0]);
        OutputRun run = run_with_output(fds[1], {"charset", "list"}, prefix_.path().string(), ignore);
        close(fds[1]);
        if (ignore) {
            EXPECT_EQ(run.exit_code, 1);
            EXPECT_THAT(run.err, HasSubstr("quarn: cannot write to standard output: Broken pipe\n"));
        } else {
            EXPECT_EQ(run.signal, SIGPIPE);
        }
    }
}

// A machine.toml that cannot be used: every command that needs the machine
// gives the one error naming the file, line and key, and fails; none goes on
// to report what failed after it, or to report a lookup as not found.
TEST_F(Conventions, ABadMachineFileIsOneErrorThatNamesIt) {
    prefix_.write("machine.toml", "[computer]\nname = 42\n");
    const std::vector<std::string> commands[] = {
        {"config", "get", "HostData"}, {"config", "list"}, {"setup"}, {"reg", "query", "HKLM\\Software"},
        {"id"},     {"getent", "passwd", "root"},       {"sid", "S-1-5-32-544"},       {"cache", "stats"},
    };
    for (const auto &args : commands) {
        SCOPED_TRACE(joined(args));
        ChildResult result = quarn(args);
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_THAT(result.err, testing::StartsWith("quarn: " + path("machine.toml") + ":2: computer.name: "));
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST_F(Conventions, RegTakesSwitchesWithADashAsWindowsToolsDo) {
    reg_ok({"add", "HKCU\\Software\\Dash", "-v", "Count", "-t", "REG_DWORD", "-d", "7", "-F"});
    ChildResult slash = reg({"query", "HKCU\\Software\\Dash", "/v", "Count"});
    ChildResult dash = reg({"query", "HKCU\\Software\\Dash", "-V", "Count"});
    EXPECT_EQ(dash.exit_code, 0) << dash.err;
    EXPECT_EQ(dash.out, "\nHKEY_CURRENT_USER\\Software\\Dash\n    Count    REG_DWORD    0x7\n\n");
    EXPECT_EQ(dash.out, slash.out);
    ChildResult help = reg({"query", "-?"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_THAT(help.out, HasSubstr("quarn reg query KEY"));
    // A dash that names no switch is still a syntax error, and a value may begin with one.
    EXPECT_EQ(reg({"query", "HKCU\\Software\\Dash", "-x"}).exit_code, 1);
    reg_ok({"add", "HKCU\\Software\\Dash", "-v", "Text", "-d", "-v", "-f"});
    EXPECT_EQ(reg({"query", "HKCU\\Software\\Dash", "-v", "Text"}).out,
              "\nHKEY_CURRENT_USER\\Software\\Dash\n    Text    REG_SZ    -v\n\n");
}

TEST_F(Conventions, RegQueryOfAKeyWithoutValuesPrintsWhatRegExePrints) {
    reg_ok({"add", "HKCU\\Software\\Bare\\Sub", "/f"});
    reg_ok({"add", "HKCU\\Software\\Bare\\Other", "/f"});
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        // Only subkeys: they follow the first blank line, without the key's own name.
        {{"query", "HKCU\\Software\\Bare"},
         "\nHKEY_CURRENT_USER\\Software\\Bare\\Other\nHKEY_CURRENT_USER\\Software\\Bare\\Sub\n\n"},
        // Neither values nor subkeys: the blank line alone.
        {{"query", "HKCU\\Software\\Bare\\Sub"}, "\n"},
        // With /s every key shows its name and a blank line.
        {{"query", "HKCU\\Software\\Bare", "/s"},
         "\nHKEY_CURRENT_USER\\Software\\Bare\n\nHKEY_CURRENT_USER\\Software\\Bare\\Other\n\n"
         "HKEY_CURRENT_USER\\Software\\Bare\\Sub\n\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(joined(c.args));
        ChildResult result = reg(c.args);
        EXPECT_EQ(result.exit_code, 0) << result.err;
        EXPECT_EQ(result.out, c.out);
    }
}

}  // namespace
}  // namespace quarn::test
