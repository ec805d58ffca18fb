// Host facts, each in a fresh process where they are cached: terminal
// services and the global prefix, the parent process, echo requests, and the
// wide copy of a text.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "nt.h"
#include "temp_prefix.h"

namespace {

using quarn::test::run_child;

constexpr char kTerminalServerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Terminal Server";
constexpr char kProductOptionsKey[] = "System\\CurrentControlSet\\Control\\ProductOptions";

// "answer admin-flag global-prefix client-network" of a probe on a machine
// whose [windows] table is `windows`, after the registry settings `setup`.
std::string terminal_services(const std::string &windows, const std::vector<std::string> &setup,
                              const std::map<std::string, std::optional<std::string>> &environment = {}) {
    quarn::test::TempPrefix prefix;
    prefix.write("machine.toml", "[windows]\n" + windows + "\n");
    std::vector<std::string> argv{QUARN_PROBE};
    argv.insert(argv.end(), setup.begin(), setup.end());
    argv.push_back("wts");
    auto env = environment;
    env["QUARN_PREFIX"] = prefix.path().string();
    auto r = run_child(argv, env);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out;
}

TEST(TerminalServer, TheOverrideDecidesOnNt5AndLater) {
    struct Case {
        const char *forced;
        const char *expected;
    } cases[] = {
        {"admin", "1 1 1 0\n"}, {"ADMIN", "1 1 1 0\n"}, {"user", "1 0 1 0\n"},
        {"no", "0 0 1 0\n"},    {"", "0 0 1 0\n"},  // empty: the machine decides, and it is no server
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.forced);
        EXPECT_EQ(terminal_services("major = 6", {}, {{"QUARN_FORCE_WTS", c.forced}}), c.expected);
    }
}

TEST(TerminalServer, TheSuiteAndTSAppCompatOfTheMachine) {
    struct Case {
        const char *name;
        const char *windows;
        std::vector<std::string> setup;
        const char *expected;
    } cases[] = {
        {"no terminal suite", "major = 6", {}, "0 0 1 0\n"},
        {"terminal suite, no TSAppCompat", "suites = [\"terminal\"]", {}, "1 0 1 0\n"},
        {"terminal suite, TSAppCompat 0", "suites = [\"terminal\"]",
         {"set-dword", kTerminalServerKey, "TSAppCompat", "0"}, "1 1 1 0\n"},
        {"terminal suite, TSAppCompat 1", "suites = [\"terminal\"]",
         {"set-dword", kTerminalServerKey, "TSAppCompat", "1"}, "1 0 1 0\n"},
        {"NT 4 without the product suite", "major = 4", {}, "0 0 0 0\n"},
        {"NT 4 listing Terminal Server", "major = 4",
         {"set-multi", kProductOptionsKey, "ProductSuite", "Enterprise|Terminal Server"}, "1 0 1 0\n"},
        {"NT 4, a name that only starts alike", "major = 4",
         {"set-multi", kProductOptionsKey, "ProductSuite", "Terminal Server X|Small Business"}, "0 0 0 0\n"},
        {"NT 4, suites of the version are not asked", "major = 4\nsuites = [\"terminal\"]", {}, "0 0 0 0\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(terminal_services(c.windows, c.setup, {{"QUARN_FORCE_WTS", std::nullopt}}), c.expected);
    }
}

TEST(TerminalServer, ALongProductSuiteListIsReadWhole) {
    std::string list;
    for (int i = 0; i < 150; ++i) list += "Suite number " + std::to_string(i) + "|";
    list += "Terminal Server";  // past the first 1024 and 2048 bytes
    EXPECT_EQ(terminal_services("major = 4", {"set-multi", kProductOptionsKey, "ProductSuite", list}), "1 0 1 0\n");
}

TEST(TerminalServer, TheClientNetworkOfATerminalServerIsAskedAndTraced) {
    quarn::test::TempPrefix prefix;
    prefix.write("machine.toml", "[windows]\nsuites = [\"terminal\"]\n");
    auto r = run_child({QUARN_PROBE, "wts"}, {{"QUARN_PREFIX", prefix.path().string()}, {"QUARN_TRACE", "stderr"}});
    EXPECT_EQ(r.out, "1 0 1 0\n");  // this host has no terminal-client network
    EXPECT_NE(r.err.find("NT_TRACE: Call to WNetGetNetworkInformation() at nt\\lib\\ntutil\\"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("failed with status=0x4b4"), std::string::npos) << r.err;  // ERROR_BAD_PROVIDER
}

TEST(ParentProcess, AChildKnowsItsParentAndAGoneProcessIsTraced) {
    auto r = run_child({QUARN_PROBE, "ppid", std::to_string(getpid())});
    EXPECT_EQ(r.out, std::to_string(getppid()) + "\n");
    // A shell started by this process asks about itself (or execs the probe in its place).
    auto shell = run_child({"/bin/sh", "-c", std::string(QUARN_PROBE) + " ppid $$"});
    EXPECT_EQ(shell.out, std::to_string(getpid()) + "\n");
    auto gone = run_child({QUARN_PROBE, "ppid", "2147483000"}, {{"QUARN_TRACE", "stderr"}});
    EXPECT_EQ(gone.out, "0\n");
    EXPECT_NE(gone.err.find("NTX_TRACE: Call to OpenProcess() at nt\\lib\\ntunpub\\"), std::string::npos) << gone.err;
}

TEST(Ping, LoopbackAnswersAndAnUnknownNameSendsNothing) {
    struct Case {
        const char *host;
        const char *expected;
    } cases[] = {
        {"localhost", "1\n"},
        {"127.0.0.1", "1\n"},
        {"::1", "1\n"},
        {"no-such-host.invalid", "0\n"},
        {"", "0\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.host);
        auto r = run_child({QUARN_PROBE, "ping", c.host}, {{"QUARN_TRACE", "stderr"}});
        EXPECT_EQ(r.out, c.expected) << r.err;
        if (std::strcmp(c.expected, "0\n") == 0) {
            EXPECT_EQ(r.err, "");  // nothing was tried, nothing traced
        }
    }
}

// Another user whom the machine lets open neither kind of ICMP socket gets a
// traced failure, not a hang and not a false answer.
TEST(Ping, AUserWithoutICMPSocketsGetsATracedFailure) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    auto r = run_child({"/usr/bin/env", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", QUARN_PROBE, "ping", "127.0.0.1"},
                       {{"QUARN_TRACE", "stderr"}, {"QUARN_PREFIX", "/tmp"}});
    if (r.out == "1\n") GTEST_SKIP() << "this machine lets every group open ICMP sockets";
    EXPECT_EQ(r.out, "0\n") << r.err;
    EXPECT_NE(r.err.find("NTX_TRACE: Call to IcmpCreateFile() at nt\\lib\\ntutilx\\"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("status=0x5"), std::string::npos) << r.err;  // ERROR_ACCESS_DENIED
}

TEST(WideCopy, TextBecomesUtf16WhateverWcharIs) {
    EXPECT_EQ(nt_sz_to_unicode(nullptr), nullptr);
    struct Case {
        const char *text;
        std::u16string expected;
    } cases[] = {
        {"", u""},
        {"C:\\Program Files\\tool.exe", u"C:\\Program Files\\tool.exe"},
        {"gr\xc3\xbc\xc3\x9f", u"gr\u00fc\u00df"},
        {"\xe6\x96\x87\xf0\x9f\x98\x80", u"\u6587\U0001F600"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        WCHAR *copy = nt_sz_to_unicode(c.text);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(copy)), c.expected);
        std::free(copy);
    }
}

}  // namespace

namespace {

constexpr char kNetworkCardsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";

// `quarn setup` on a machine with `machine_toml`, then the probe's "macs"
// after the registry settings `setup`.
quarn::test::ChildResult mac_addresses(const std::string &machine_toml, const std::vector<std::string> &setup,
                                       bool run_setup = true) {
    quarn::test::TempPrefix prefix;
    prefix.write("machine.toml", machine_toml);
    std::map<std::string, std::optional<std::string>> env{{"QUARN_PREFIX", prefix.path().string()},
                                                          {"QUARN_TRACE", "stderr"}};
    if (run_setup) {
        EXPECT_EQ(run_child({QUARN_TOOL, "setup"}, env).exit_code, 0);
    }
    std::vector<std::string> argv{QUARN_PROBE};
    argv.insert(argv.end(), setup.begin(), setup.end());
    argv.push_back("macs");
    return run_child(argv, env);
}

TEST(MacAddresses, EthernetAndTokenRingAddressesThatEndInSomething) {
    auto r = mac_addresses(R"(
[[network_cards]]
name = "eth0"
address = "02:42:ac:11:00:02"
[[network_cards]]
name = "tr0"
medium = "802.5"
address = "10:00:5a:01:02:03"
[[network_cards]]
name = "ends-in-zeros"
address = "02:42:ac:00:00:00"
[[network_cards]]
name = "lo"
medium = "loopback"
address = "00:00:00:00:00:00"
[[network_cards]]
name = "eight-bytes"
address = "01:02:03:04:05:06:07:08"
[[network_cards]]
name = "ppp0"
medium = "wan"
)",
                           {});
    EXPECT_EQ(r.out, "2 02:42:ac:11:00:02 10:00:5a:01:02:03\n") << r.err;
}

TEST(MacAddresses, AnAdapterThatIsGoneIsTracedAndSkipped) {
    auto r = mac_addresses("[[network_cards]]\nname = \"eth0\"\naddress = \"02:00:00:00:00:01\"\n",
                           {"set-sz", std::string(kNetworkCardsKey) + "\\9", "ServiceName", "unplugged"});
    EXPECT_EQ(r.out, "1 02:00:00:00:00:01\n");
    EXPECT_NE(r.err.find("NTX_TRACE: Call to NtOpenFile(\\Device\\unplugged) at nt\\lib\\ntunpub\\"),
              std::string::npos)
        << r.err;
}

TEST(MacAddresses, NoNetworkCardsKeyIsAFailureAndNoAdaptersIsNone) {
    auto missing = mac_addresses("", {}, false);
    EXPECT_EQ(missing.out, "-1\n");
    EXPECT_NE(missing.err.find("NTX_TRACE: Call to RegOpenKeyEx("), std::string::npos) << missing.err;
    auto none = mac_addresses("[[network_cards]]\nname = \"lo\"\nmedium = \"loopback\"\n", {});
    EXPECT_EQ(none.out, "0\n") << none.err;
}

TEST(MacAddresses, AnAddressThatIsNotHexIsABadMachineFile) {
    quarn::test::TempPrefix prefix;
    prefix.write("machine.toml", "[[network_cards]]\nname = \"eth0\"\naddress = \"02-00-00-00-00-01\"\n");
    auto r = run_child({QUARN_PROBE, "macs"}, {{"QUARN_PREFIX", prefix.path().string()}});
    EXPECT_NE(r.err.find("machine.toml:3: network_cards.0.address: expected bytes as two hex digits each"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "-1\n");
}

// The adapters of this Linux machine: every address found is one that
// /sys/class/net shows for an Ethernet interface.
TEST(MacAddresses, TheAddressesOfThisMachine) {
    auto r = mac_addresses("", {});
    std::istringstream words(r.out);
    int count = -1;
    words >> count;
    ASSERT_GE(count, 0) << r.err;
    std::string shown;
    for (const auto &entry : std::filesystem::directory_iterator("/sys/class/net")) {
        std::ifstream type(entry.path() / "type"), address(entry.path() / "address");
        std::string t, a;
        type >> t;
        address >> a;
        if (t == "1") shown += a + " ";
    }
    for (std::string address; words >> address;) EXPECT_NE(shown.find(address), std::string::npos) << address;
}

}  // namespace
