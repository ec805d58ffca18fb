// quarn path and quarn ls, as an administrator runs them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "child_process.h"
#include "file_support.h"
#include "temp_prefix.h"

using namespace quarn::test;

namespace {

TEST(PathTool, EachFormOfOnePath) {
    auto dir = drive_c_folder("tool");
    struct Case {
        std::vector<std::string> argv;
        int exit_code;
        std::string out;
    } cases[] = {
        {{"path", "full", "C:\\tool\\..\\tool\\f."}, 0, "C:\\tool\\f\n"},
        {{"path", "wide", "C:\\tool\\f"}, 0, "\\\\?\\C:\\tool\\f\n"},
        {{"path", "thin", "\\\\?\\UNC\\srv\\sh\\x"}, 0, "\\\\srv\\sh\\x\n"},
        {{"path", "ob", "C:\\tool"}, 0, "\\??\\C:\\tool\n"},
        {{"path", "ob", "--expand", "C:\\tool"}, 0, "\\Device\\HarddiskVolume1\\tool\n"},
        {{"path", "unix", "C:\\tool\\f"}, 0, (dir / "f").string() + "\n"},
        {{"path", "kernel", "\\DosDevices\\C:\\tool"}, 0, "C:\\tool\n"},
        {{"path", "kernel", "\\Device\\Nowhere"}, 1, ""},
        {{"path", "wide", "C:\\" + std::string(1100, 'x')}, 1, ""},
        {{"path", "full", "--expand", "C:\\tool"}, 2, ""},
        {{"path", "sideways", "C:\\tool"}, 2, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.argv[1] + " " + c.argv.back().substr(0, 40));
        std::vector<std::string> argv{QUARN_TOOL};
        argv.insert(argv.end(), c.argv.begin(), c.argv.end());
        auto result = run_child(argv);
        EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
        EXPECT_EQ(result.out, c.out);
        if (c.exit_code) EXPECT_FALSE(result.err.empty());
    }
}

TEST(LsTool, ListsALongPathWithModesSizesAndUtcTimes) {
    auto dir = drive_c_folder("ls");
    std::string folder = "C:\\ls";
    auto unix_folder = dir;
    for (int i = 0; i < 3; ++i) {
        std::string part(200, static_cast<char>('p' + i));
        folder += "\\" + part;
        unix_folder /= part;
    }
    std::filesystem::create_directories(unix_folder);
    std::ofstream(unix_folder / "data") << "12345";
    timespec times[2] = {{1625140800, 0}, {1625140800, 0}};  // 2021-07-01 12:00 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, (unix_folder / "data").c_str(), times, 0), 0);
    auto result = run_child({QUARN_TOOL, "ls", folder}, {{"TZ", "America/New_York"}});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("100666            5 2021-07-01T12:00:00Z data\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.rfind("040777", 0), 0u) << result.out;
    auto missing = run_child({QUARN_TOOL, "ls", "C:\\ls\\missing"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("C:\\ls\\missing"), std::string::npos);
}

}  // namespace
