// The profile folder of a domain user's token (tests/machines/member.toml logs
// on as CORP\alice): C:\users\alice, made on request.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "machine/machine.h"
#include "shell.h"

namespace {

TEST(SHGetFolderPath, ADomainUsersProfileIsMadeOnRequest) {
    auto folder = quarn::win32::Machine::current()->prefix() / "drive_c/users/alice";
    char path[MAX_PATH + 8];
    std::memset(path, 0xCC, sizeof path);
    ASSERT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, path),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(path[0], '\xCC');
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    EXPECT_STREQ(path, "C:\\users\\alice");
    EXPECT_EQ(path[std::strlen(path) + 1], '\xCC');
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
}

TEST(SHGetFolderPath, OnlyTheProfileFolder) {
    char path[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathA(nullptr, 0x001A /* CSIDL_APPDATA */, nullptr, 0, path), E_INVALIDARG);
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, 7, path), E_INVALIDARG);
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE, reinterpret_cast<HANDLE>(0x7777), 0, path),
              HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE));
}

}  // namespace
