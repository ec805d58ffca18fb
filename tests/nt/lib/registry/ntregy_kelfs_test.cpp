// The driver's parameters: defaults, the installation rule, the read-only
// suffix, the two keys, and the control code.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ntregy.h"
#include "win32.h"

namespace {

TEST(DriverParameters, DefaultsAreCopiedWhenTheyFit) {
    char small[10];
    std::memset(small, 'Z', sizeof small);
    EXPECT_EQ(ntregy_get_default_param(22, small, sizeof small), 1);
    EXPECT_EQ(small[0], 'Z');
    char enough[64];
    EXPECT_EQ(ntregy_get_default_param(22, enough, sizeof enough), 0);
    EXPECT_STREQ(enough, "\\DosDevices\\C:\\kelfslogs");
    DWORD number = 0;
    EXPECT_EQ(ntregy_get_default_param(24, &number, sizeof number), 0);
    EXPECT_EQ(number, 371u);
    EXPECT_EQ(ntregy_get_default_param(24, &number, 3), 1);
    EXPECT_EQ(ntregy_get_kelfs_datatype(25), REG_SZ);
    EXPECT_EQ(ntregy_get_kelfs_datatype(46), REG_DWORD);
}

TEST(DriverParameters, TheInstallationRuleFollowsTheTable) {
    std::string expected;
    for (int n = 0; n <= 60; ++n) expected += ntregy_should_install_default_kelfs_param(n) ? '1' : '0';
    EXPECT_EQ(expected,
              "0110000000111110100000111110111101000000001111110110111111111");
    EXPECT_EQ(ntregy_should_install_default_kelfs_param(1000), 1);
}

TEST(DriverParameters, TheSuffixIsNeverWritten) {
    EXPECT_EQ(ntregy_set_kelfs_param(21, reinterpret_cast<uintptr_t>("##"), nullptr), ERROR_BAD_ARGUMENTS);
    EXPECT_EQ(ntregy_default_kelfs_param(21, nullptr), ERROR_SUCCESS);
    HKEY key = nullptr;
    EXPECT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kelfs\\Parameters", KEY_READ,
                                &key),
              ERROR_FILE_NOT_FOUND);
}

TEST(DriverParameters, WritesCreateTheKeyWithTheRowsType) {
    ASSERT_EQ(ntregy_set_kelfs_param(13, 250, nullptr), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kelfs\\Parameters", KEY_READ,
                                &key),
              ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "major", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size), ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(value, 250u);

    ASSERT_EQ(ntregy_set_kelfs_param(25, reinterpret_cast<uintptr_t>("Q"), nullptr), ERROR_SUCCESS);
    char drive[4] = {};
    EXPECT_EQ(ntregy_get_kelfs_param(25, drive, sizeof drive, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(drive, "Q");
    ASSERT_EQ(ntregy_default_kelfs_param(25, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_get_kelfs_param(25, drive, sizeof drive, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(drive, "M");
    EXPECT_EQ(ntregy_del_kelfs_param(25), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_get_kelfs_param(25, drive, sizeof drive, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ntregy_del_kelfs_param(25), ERROR_FILE_NOT_FOUND);
}

TEST(DriverParameters, InstalledValuesComeFromTheirOwnKey) {
    ASSERT_EQ(ntregy_set_kelfs_param(11, 600, nullptr), ERROR_SUCCESS);
    DWORD value = 0;
    EXPECT_EQ(ntregy_get_installed_kelfs_param(11, &value, sizeof value, nullptr), ERROR_FILE_NOT_FOUND);
    HKEY key = nullptr;
    DWORD installed = 300;
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "\\SYSTEM\\CurrentControlSet\\Services\\kelfs\\InstallParameters",
                                  "idleview_timeout", &installed, 4, REG_DWORD, &key),
              ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(ntregy_get_installed_kelfs_param(11, &value, sizeof value, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(value, 300u);
    EXPECT_EQ(ntregy_get_kelfs_param(11, &value, sizeof value, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(value, 600u);
}

TEST(DriverParameters, TheControlCode) { EXPECT_EQ(nt_get_kelfs_ioctl_cmd(), 0x00096EE0u); }

}  // namespace
