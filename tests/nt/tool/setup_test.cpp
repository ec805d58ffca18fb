// quarn setup writes the installation into the registry once: the product's
// folders, the host-data folders and the driver's defaults.
#include <gtest/gtest.h>

#include <filesystem>

#include "child_process.h"
#include "ntregy.h"
#include "temp_prefix.h"
#include "win32.h"

namespace {

TEST(Setup, WritesTheInstallationAndChangesNothingTheSecondTime) {
    auto first = quarn::test::run_child({QUARN_TOOL, "setup"});
    ASSERT_EQ(first.exit_code, 0) << first.err;
    EXPECT_NE(first.out.find("HostData: C:\\ProgramData\\Quarn\\Zendrel\n"), std::string::npos) << first.out;
    auto drive_c = quarn::test::process_prefix().path() / "drive_c";
    for (const char *folder : {"ProgramData/Quarn/Zendrel/var/cache", "ProgramData/Quarn/Zendrel/var/log",
                               "ProgramData/Quarn/Zendrel/bin", "Program Files/Quarn/Zendrel"})
        EXPECT_TRUE(std::filesystem::is_directory(drive_c / folder)) << folder;

    DWORD number = 0;
    EXPECT_EQ(ntregy_get_kelfs_param(24, &number, sizeof number, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(number, 371u);
    EXPECT_EQ(ntregy_get_kelfs_param(0, &number, sizeof number, nullptr), ERROR_FILE_NOT_FOUND);  // not installed

    // An administrator's changes survive a second run.
    ASSERT_EQ(ntregy_set_param(16, "C:\\Elsewhere", nullptr), ERROR_SUCCESS);
    ASSERT_EQ(ntregy_set_kelfs_param(24, 999, nullptr), ERROR_SUCCESS);
    auto second = quarn::test::run_child({QUARN_TOOL, "setup"});
    ASSERT_EQ(second.exit_code, 0) << second.err;
    EXPECT_NE(second.out.find("HostData: C:\\Elsewhere\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(drive_c / "Elsewhere" / "var" / "log"));
    EXPECT_EQ(ntregy_get_kelfs_param(24, &number, sizeof number, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(number, 999u);
}

}  // namespace
