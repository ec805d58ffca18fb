// Long-path conversions, object-manager names, kernel paths, root splits and
// local shares, on the drive table of the test's prefix.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "child_process.h"
#include "file_support.h"
#include "nt.h"
#include "ntposix.h"
#include "ntregy.h"
#include "ntx.h"
#include "temp_prefix.h"
#include "win32.h"

namespace fs = std::filesystem;
using namespace quarn::test;

namespace {

constexpr char16_t kPoison = u'\xCCCC';

class Paths : public testing::Test {
protected:
    void SetUp() override {
        drive_c_folder("paths");
        saved_ = fs::current_path();
        fs::current_path(process_prefix().path() / "drive_c" / "paths");
    }
    void TearDown() override { fs::current_path(saved_); }
    fs::path saved_;
};

// The wide path of `path`, or "fail <last error> <errno>".
std::string wide_path(const std::string &path, size_t size = 2048) {
    char16_t out[1030];
    std::fill(std::begin(out), std::end(out), kPoison);
    SetLastError(0xdeadbeef);
    errno = 0;
    if (nt_get_wide_path(path.c_str(), out, size) != 0) {
        EXPECT_EQ(out[0], kPoison);
        return "fail " + std::to_string(GetLastError()) + " " + std::to_string(errno);
    }
    EXPECT_EQ(out[std::char_traits<char16_t>::length(out) + 1], kPoison);
    return thin(out);
}

const std::string kTooLong = "fail 111 " + std::to_string(ENAMETOOLONG);

TEST_F(Paths, WidePathsAreAbsoluteAndExtendedLength) {
    struct Case {
        const char *path, *wide;
    } cases[] = {
        {"C:\\dir\\file", "\\\\?\\C:\\dir\\file"},
        {"sub\\file", "\\\\?\\C:\\paths\\sub\\file"},
        {"sub/../x/./y", "\\\\?\\C:\\paths\\x\\y"},
        {"/srv/data/x", "\\\\?\\C:\\srv\\data\\x"},
        {"\\\\server\\share\\f", "\\\\?\\UNC\\server\\share\\f"},
        {"\\\\.\\PIPE\\x", "\\\\.\\PIPE\\x"},
        {"\\\\?\\C:\\x", "\\\\?\\C:\\x"},
        {"C:\\..\\..\\x", "\\\\?\\C:\\x"},
        {"C:\\\xC3\xA4", "\\\\?\\C:\\\xC3\xA4"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(wide_path(c.path), c.wide);
    }
}

TEST_F(Paths, EveryLimitIsANameTooLong) {
    EXPECT_EQ(wide_path("C:\\dir", 8), kTooLong);
    EXPECT_EQ(wide_path("\\\\s\\h", 12), kTooLong);                    // no room for "UNC"
    EXPECT_EQ(wide_path("C:\\dir", 14), kTooLong);                     // 10 characters need 11
    EXPECT_EQ(wide_path("C:\\dir", 22), "\\\\?\\C:\\dir");
    EXPECT_EQ(wide_path("C:\\" + std::string(1021, 'a')), kTooLong);  // 1024 characters
    EXPECT_EQ(wide_path("C:\\" + std::string(1017, 'a')), kTooLong);  // fits, but not with the prefix
    EXPECT_EQ(wide_path("C:\\" + std::string(1016, 'a')).size(), 1023u);

    char16_t out[8];
    std::fill(std::begin(out), std::end(out), kPoison);
    EXPECT_EQ(nt_strip_prefix_from_wide_path(u"\\\\?\\C:\\dir", out, 8), -1);
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_EQ(out[0], kPoison);
    EXPECT_EQ(ntx_cvt_to_ob_pname_w(u"\\\\?\\C:\\dir", 0, 8, out), -1);
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
    char small[8];
    memset(small, 0xCC, sizeof small);
    EXPECT_EQ(ntx_cvt_to_ob_pname("C:\\dir", 0, 8, small), -1);
    EXPECT_EQ(static_cast<unsigned char>(small[0]), 0xCC);
}

TEST_F(Paths, StrippingGivesTheUserFormBack) {
    struct Case {
        const char16_t *wide, *stripped;
    } cases[] = {
        {u"\\\\?\\UNC\\server\\share\\f", u"\\\\server\\share\\f"},
        {u"\\\\?\\C:\\dir", u"C:\\dir"},
        {u"C:\\plain", u"C:\\plain"},
        {u"\\\\.\\PIPE\\x", u"\\\\.\\PIPE\\x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(thin(c.wide));
        char16_t out[64];
        std::fill(std::begin(out), std::end(out), kPoison);
        ASSERT_EQ(nt_strip_prefix_from_wide_path(c.wide, out, sizeof out), 0);
        EXPECT_EQ(std::u16string(out), c.stripped);
        size_t length = std::char_traits<char16_t>::length(c.stripped);
        EXPECT_EQ(out[length + 1], kPoison);
        // Exactly enough room, then one character less.
        EXPECT_EQ(nt_strip_prefix_from_wide_path(c.wide, out, (length + 1) * 2), 0);
        EXPECT_EQ(nt_strip_prefix_from_wide_path(c.wide, out, length * 2), -1);
    }
}

TEST_F(Paths, ThinAndFullPaths) {
    char out[64];
    memset(out, 0xCC, sizeof out);
    ASSERT_EQ(nt_get_thin_path(u"\\\\?\\C:\\\u00e4", out, sizeof out), 0);
    EXPECT_STREQ(out, "C:\\\xC3\xA4");
    EXPECT_EQ(static_cast<unsigned char>(out[7]), 0xCC);
    memset(out, 0xCC, sizeof out);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nt_get_thin_path(u"\\\\?\\C:\\\u00e4", out, 5), -1);  // 6 bytes needed
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(errno, nt_win32error2errno(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(_doserrno, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 0xCC);
    ASSERT_EQ(nt_get_full_path("sub\\..\\x", out, sizeof out), 0);
    EXPECT_STREQ(out, "C:\\paths\\x");
}

TEST_F(Paths, IllFormedMultibyteTextNamesNoFile) {
    EXPECT_EQ(wide_path("C:\\paths\\\xFF\xFE"), "fail 1113 " + std::to_string(nt_win32error2errno(1113)));
    EXPECT_EQ(wide_path("C:\\paths\\\xC3"), "fail 1113 " + std::to_string(nt_win32error2errno(1113)));
}

TEST_F(Paths, TheLongPathSwitchLimitsOnlyLength) {
    std::string long_path = "C:\\" + std::string(200, 'a') + "\\" + std::string(100, 'b');
    EXPECT_EQ(wide_path(long_path).size(), long_path.size() + 4);
    EXPECT_EQ(in_child([&] {
                  nt_disable_long_path();
                  return wide_path(long_path) == kTooLong && wide_path("C:\\short") == "\\\\?\\C:\\short" ? 0 : 1;
              }),
              0);
    // The setting decides it in a process that has not decided yet.
    for (DWORD value : {1u, 0u}) {
        SCOPED_TRACE(value);
        HKEY key = nullptr;
        ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, ntregy_get_common_key(), "DisableUnicodeLongPath", &value,
                                      sizeof value, REG_DWORD, &key),
                  ERROR_SUCCESS);
        ntregy_close_key(key);
        auto result = run_child(file_helper({"wide", long_path}));
        EXPECT_EQ(result.out, value ? kTooLong + "\n" : "\\\\?\\" + long_path + "\n");
    }
    EXPECT_EQ(ntregy_del_value(HKEY_LOCAL_MACHINE, ntregy_get_common_key(), "DisableUnicodeLongPath"), ERROR_SUCCESS);
}

std::string ob_name(const char *path, int expand) {
    char out[300];
    memset(out, 0xCC, sizeof out);
    SetLastError(0xdeadbeef);
    if (ntx_cvt_to_ob_pname(path, expand, sizeof out, out) != 0) return "fail " + std::to_string(GetLastError());
    return out;
}

TEST_F(Paths, ObjectNamesAndTheirLinks) {
    struct Case {
        const char *path, *plain, *expanded;
    } cases[] = {
        {"C:\\dir", "\\??\\C:\\dir", "\\Device\\HarddiskVolume1\\dir"},
        {"sub", "\\??\\C:\\paths\\sub", "\\Device\\HarddiskVolume1\\paths\\sub"},
        {"\\\\srv\\sh\\x", "\\??\\UNC\\srv\\sh\\x", "\\Device\\Mup\\srv\\sh\\x"},
        {"Q:\\x", "\\??\\Q:\\x", "fail 2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ob_name(c.path, 0), c.plain);
        EXPECT_EQ(ob_name(c.path, 1), c.expanded);
    }
    // A second drive is the second volume, and its link dangles harmlessly.
    fs::create_directories(process_prefix().path() / "dosdevices");
    fs::create_directory_symlink("/nonexistent-quarn", process_prefix().path() / "dosdevices" / "d:");
    EXPECT_EQ(ob_name("D:\\x", 1), "\\Device\\HarddiskVolume2\\x");
    char *user = reinterpret_cast<char *>(0xdeadbeef);
    ASSERT_EQ(nt_kernel_to_dosdevice_user_path("\\Device\\HarddiskVolume2\\x", &user), 0u);
    EXPECT_STREQ(user, "D:\\x");
    free(user);
    fs::remove(process_prefix().path() / "dosdevices" / "d:");
}

TEST_F(Paths, KernelPathsBackToUserPaths) {
    struct Case {
        const char *kernel, *user;
        DWORD result;
    } cases[] = {
        {"\\DosDevices\\C:\\tmp", "C:\\tmp", 0},
        {"\\dosdevices\\c:\\tmp", "c:\\tmp", 0},
        {"\\Device\\HarddiskVolume1\\dir", "C:\\dir", 0},
        {"\\device\\harddiskvolume1", "C:", 0},
        {"\\Device\\Mup\\srv\\sh\\x", "\\\\srv\\sh\\x", 0},
        {"\\Device\\HarddiskVolume10\\x", nullptr, ERROR_PATH_NOT_FOUND},
        {"\\Device\\Other\\x", nullptr, ERROR_PATH_NOT_FOUND},
        {"\\DosDevices\\Q:\\x", nullptr, ERROR_PATH_NOT_FOUND},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kernel);
        char *user = reinterpret_cast<char *>(0xdeadbeef);
        EXPECT_EQ(nt_kernel_to_dosdevice_user_path(c.kernel, &user), c.result);
        if (c.user) {
            ASSERT_NE(user, nullptr);
            EXPECT_STREQ(user, c.user);
            free(user);
        } else {
            EXPECT_EQ(user, nullptr);
        }
    }
}

TEST(RootSplit, EveryFormOfTheTable) {
    struct Case {
        const char *path, *root, *rest;  // root null: no split
    } cases[] = {
        {"\\\\srv\\sh\\a\\b", "\\\\srv\\sh\\", "a\\b"},
        {"\\\\srv\\sh", "\\\\srv\\sh\\", ""},
        {"//srv/sh/a", "//srv/sh\\", "a"},
        {"\\\\srv\\sh\\", "\\\\srv\\sh\\", ""},
        {"\\rest\\x", "\\", "rest\\x"},
        {"/", "\\", ""},
        {"D:/x", "D:/", "x"},
        {"c:\\", "c:\\", ""},
        {"x\\y", nullptr, nullptr},
        {"C:rest", nullptr, nullptr},
        {"\\\\srv", nullptr, nullptr},
        {"\\\\srv\\", nullptr, nullptr},
        {"\\\\\\sh", nullptr, nullptr},
        {"", nullptr, nullptr},
        {"\xC3\xA4:\\x", nullptr, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        char root[32], rest[32];
        memset(root, 0xCC, sizeof root);
        memset(rest, 0xCC, sizeof rest);
        int result = nt_file_root_split(c.path, root, sizeof root, rest, sizeof rest);
        if (!c.root) {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(static_cast<unsigned char>(root[0]), 0xCC);
            continue;
        }
        ASSERT_EQ(result, 0);
        EXPECT_STREQ(root, c.root);
        EXPECT_STREQ(rest, c.rest);
        EXPECT_EQ(static_cast<unsigned char>(root[strlen(c.root) + 1]), 0xCC);
        // Exactly enough room works; one byte less fails, for either buffer.
        EXPECT_EQ(nt_file_root_split(c.path, root, strlen(c.root) + 1, rest, strlen(c.rest) + 1), 0);
        EXPECT_EQ(nt_file_root_split(c.path, root, strlen(c.root), rest, sizeof rest), -1);
        EXPECT_EQ(nt_file_root_split(c.path, root, sizeof root, rest, strlen(c.rest)), -1);
    }
}

TEST(LocalShares, ThePathLineOfTheShare) {
    const char kShares[] = "\\System\\CurrentControlSet\\Services\\LanmanServer\\Shares";
    const char docs[] = "CSCFlags=0\0MaxUses=4294967295\0Path=C:\\docs\0Permissions=0\0Type=0\0";
    const char no_path[] = "MaxUses=1\0Type=0\0";
    HKEY key = nullptr;
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, kShares, "docs", docs, sizeof docs, REG_MULTI_SZ, &key), 0);
    ntregy_close_key(key);
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, kShares, "odd", no_path, sizeof no_path, REG_MULTI_SZ, &key), 0);
    ntregy_close_key(key);
    char out[16];
    memset(out, 0xCC, sizeof out);
    EXPECT_EQ(nt_get_local_sharename_path("docs", out, sizeof out), 0);
    EXPECT_STREQ(out, "C:\\docs");
    EXPECT_EQ(nt_get_local_sharename_path("docs", out, 8), 0);
    EXPECT_EQ(nt_get_local_sharename_path("docs", out, 7), ENAMETOOLONG);
    EXPECT_EQ(nt_get_local_sharename_path("odd", out, sizeof out), -1);
    EXPECT_EQ(nt_get_local_sharename_path("missing", out, sizeof out), nt_win32error2errno(ERROR_FILE_NOT_FOUND));
}

}  // namespace
