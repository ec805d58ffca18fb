// The platform code and its override, each in a fresh process.
#include <gtest/gtest.h>

#include "child_process.h"
#include "temp_prefix.h"

namespace {

using quarn::test::run_child;

std::string osinfo(const std::optional<std::string> &forced) {
    auto r = run_child({QUARN_PROBE, "osinfo"}, {{"QUARN_FORCE_PLATFORM", forced}});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out;
}

TEST(Platform, OverrideByName) {
    struct Case {
        std::optional<std::string> forced;
        const char *expected;
    } cases[] = {
        {"VISTA", "2048 2\n"}, {"win95", "2 1\n"},   {"Win98", "4 1\n"},    {"nt3", "256 2\n"},
        {"nt4", "512 2\n"},    {"NT5", "1024 2\n"},  {"win7", "4096 2\n"},  {"win32s", "1 0\n"},
        {"xp", "4096 2\n"},    {std::nullopt, "4096 2\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.forced.value_or("(unset)"));
        EXPECT_EQ(osinfo(c.forced), c.expected);
    }
}

TEST(Platform, DetectedFromTheMachinesVersion) {
    struct Case {
        const char *windows;
        const char *expected;
    } cases[] = {
        {"major = 6\nminor = 0", "2048 2\n"},
        {"major = 5\nminor = 1", "1024 2\n"},
        {"major = 4\nminor = 0", "512 2\n"},
        {"major = 3\nminor = 51", "256 2\n"},
        {"platform = \"windows\"\nmajor = 4\nminor = 10", "4 1\n"},
        {"platform = \"windows\"\nmajor = 4\nminor = 0", "2 1\n"},
        {"platform = \"win32s\"", "1 0\n"},
        {"major = 10\nminor = 0", "2048 2\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.windows);
        quarn::test::TempPrefix prefix;
        prefix.write("machine.toml", std::string("[windows]\n") + c.windows + "\n");
        auto r = run_child({QUARN_PROBE, "osinfo"}, {{"QUARN_PREFIX", prefix.path().string()}});
        EXPECT_EQ(r.out, c.expected) << r.err;
    }
}

TEST(Platform, BadMachineFileIsReportedAndNothingIsMadeUp) {
    quarn::test::TempPrefix prefix;
    prefix.write("machine.toml", "[windows]\nmajr = 6\n");
    auto r = run_child({QUARN_PROBE, "osinfo"}, {{"QUARN_PREFIX", prefix.path().string()}});
    EXPECT_NE(r.err.find("machine.toml:2: windows.majr: unknown key"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "1 0\n");  // the version query failed: win32s, as on a host that cannot tell
}

}  // namespace
