// GetFullPathNameW/A over the drive table, and the Unix file behind each DOS
// path form.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "file_support.h"
#include "kernel32/dos_path.h"
#include "temp_prefix.h"
#include "winnls.h"

namespace fs = std::filesystem;
using namespace quarn::test;
using quarn::win32::PathTail;
using quarn::win32::unix_path_of_dos;

namespace {

class FullPath : public testing::Test {
protected:
    void SetUp() override {
        work_ = drive_c_folder("work");
        saved_ = fs::current_path();
        fs::current_path(work_);
    }
    void TearDown() override { fs::current_path(saved_); }
    fs::path work_, saved_;
};

TEST_F(FullPath, FoldsEveryFormAsWindowsDoes) {
    struct Case {
        const char *path, *full;
    } cases[] = {
        {"C:\\a\\b", "C:\\a\\b"},
        {"c:/a/b", "C:\\a\\b"},
        {"C:\\a\\..\\..\\..\\b", "C:\\b"},
        {"C:\\a\\.\\b\\", "C:\\a\\b\\"},
        {"C:\\a\\.", "C:\\a"},
        {"C:\\a\\..", "C:\\"},
        {"C:\\a\\\\b", "C:\\a\\b"},
        {"C:\\dir. .\\file. ", "C:\\dir\\file"},
        {"rel\\x", "C:\\work\\rel\\x"},
        {"..\\..\\..", "C:\\"},
        {".", "C:\\work"},
        {"/srv/data/x", "C:\\srv\\data\\x"},
        {"\\srv", "C:\\srv"},
        {"C:x", "C:\\work\\x"},
        {"d:x\\..\\y", "D:\\y"},
        {"\\\\server\\share\\a\\..\\..\\b", "\\\\server\\share\\b"},
        {"//server/share/a", "\\\\server\\share\\a"},
        {"\\\\.\\PIPE\\x", "\\\\.\\PIPE\\x"},
        {"\\\\?\\C:\\a\\..\\b", "\\\\?\\C:\\a\\..\\b"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        char16_t buffer[300];
        std::fill(std::begin(buffer), std::end(buffer), u'\xCCCC');
        std::u16string input = wide(c.path);
        DWORD length = GetFullPathNameW(input.c_str(), 300, buffer, nullptr);
        EXPECT_EQ(thin(std::u16string(buffer, length)), c.full);
        EXPECT_EQ(buffer[length], 0);
        EXPECT_EQ(buffer[length + 1], u'\xCCCC');
    }
}

TEST_F(FullPath, ATooSmallBufferIsLeftAloneAndTheSizeNeededReturned) {
    char16_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'\xCCCC');
    char16_t *file_part = reinterpret_cast<char16_t *>(0xdeadbeef);
    // "C:\work\file" is 12 characters: 13 with the terminator.
    EXPECT_EQ(GetFullPathNameW(u"file", 12, buffer, &file_part), 13u);
    EXPECT_EQ(buffer[0], u'\xCCCC');
    EXPECT_EQ(GetFullPathNameW(u"file", 13, buffer, &file_part), 12u);
    EXPECT_EQ(std::u16string(buffer), u"C:\\work\\file");
    EXPECT_EQ(file_part, buffer + 8);
    EXPECT_EQ(buffer[13], u'\xCCCC');
    EXPECT_EQ(GetFullPathNameW(u"C:\\dir\\", 16, buffer, &file_part), 7u);
    EXPECT_EQ(file_part, nullptr);
    for (const char16_t *invalid : {u"", u"\\\\", u"\\\\\\?\\"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetFullPathNameW(invalid, 16, buffer, nullptr), 0u);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    }
}

TEST_F(FullPath, TheThinCallCountsBytes) {
    char buffer[32];
    std::memset(buffer, 0xCC, sizeof buffer);
    // "C:\work\ä" is 9 characters and 10 bytes.
    EXPECT_EQ(GetFullPathNameA("\xC3\xA4", 10, buffer, nullptr), 11u);
    EXPECT_EQ(GetFullPathNameA("\xC3\xA4", 11, buffer, nullptr), 10u);
    EXPECT_STREQ(buffer, "C:\\work\\\xC3\xA4");
    EXPECT_EQ(static_cast<unsigned char>(buffer[11]), 0xCC);
}

TEST_F(FullPath, TheCurrentDirectoryIsTheDriveWithTheLongestRoot) {
    fs::current_path("/tmp");
    char16_t buffer[64];
    ASSERT_GT(GetFullPathNameW(u"x", 64, buffer, nullptr), 0u);
    EXPECT_EQ(std::u16string(buffer), u"Z:\\tmp\\x");
}

TEST_F(FullPath, EachFormReachesItsUnixFileOrFailsAsWindowsDoes) {
    std::string drive = (work_.parent_path()).string();
    struct Case {
        const char *path;
        PathTail tail;
        const char *unix_path;  // relative to drive C:, or null for a failure
        DWORD error;
    } cases[] = {
        {"C:\\x\\y", PathTail::name, "/x/y", 0},
        {"\\\\?\\C:\\x", PathTail::name, "/x", 0},
        {"\\\\.\\C:\\x", PathTail::name, "/x", 0},
        {"sub", PathTail::name, "/work/sub", 0},
        {"C:\\x\\*.*", PathTail::pattern, "/x/*.*", 0},
        {"C:\\x\\*.*", PathTail::name, nullptr, ERROR_INVALID_NAME},
        {"C:\\x*\\y", PathTail::pattern, nullptr, ERROR_INVALID_NAME},
        {"C:\\a|b", PathTail::name, nullptr, ERROR_INVALID_NAME},
        {"C:\\a\"b", PathTail::name, nullptr, ERROR_INVALID_NAME},
        {"\\\\server\\share\\x", PathTail::name, nullptr, ERROR_BAD_NETPATH},
        {"\\\\?\\UNC\\server\\share\\x", PathTail::name, nullptr, ERROR_BAD_NETPATH},
        {"Q:\\x", PathTail::name, nullptr, ERROR_PATH_NOT_FOUND},
        {"\\\\.\\PIPE\\x", PathTail::name, nullptr, ERROR_FILE_NOT_FOUND},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(0xdeadbeef);
        auto unix_path = unix_path_of_dos(wide(c.path), c.tail);
        if (c.unix_path) {
            ASSERT_TRUE(unix_path.has_value());
            EXPECT_EQ(fs::path(*unix_path).lexically_normal(), fs::path(drive + c.unix_path).lexically_normal());
        } else {
            EXPECT_FALSE(unix_path.has_value());
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
}

}  // namespace
