// The file calls on long paths: real files of 300 and 1,000 characters,
// read-only files, files held by another process, status records with UTC
// times in two time zones, lengths and stream positions.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "file_support.h"
#include "live_child.h"
#include "nt.h"
#include "ntposix.h"
#include "temp_prefix.h"
#include "win32.h"

namespace fs = std::filesystem;
using namespace quarn::test;

namespace {

class FileCalls : public testing::Test {
protected:
    void SetUp() override {
        dir_ = drive_c_folder("posix");
        saved_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override { fs::current_path(saved_); }

    static void make(const char *name, const std::string &text = "data") {
        int fd = unix_nt_open(name, O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0) << name;
        ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ASSERT_EQ(unix_nt_close(fd), 0);
    }
    static DWORD attributes(const char *name) {
        return GetFileAttributesW(wide(std::string("C:\\posix\\") + name).c_str());
    }
    fs::path dir_, saved_;
};

// A path of `length` characters under the current folder, in components of at most 200.
std::string long_name(size_t length) {
    std::string path;
    while (path.size() < length) {
        if (!path.empty()) path += '\\';
        size_t part = std::min<size_t>(200, length - path.size());
        path += std::string(part, static_cast<char>('a' + path.size() % 26));
    }
    return path;
}

TEST_F(FileCalls, LongPathsLiveWholeLives) {
    for (size_t length : {300u, 1000u}) {
        SCOPED_TRACE(length);
        std::string file = long_name(length);
        std::string folder = file.substr(0, file.rfind('\\'));
        for (size_t at = folder.find('\\'); at != std::string::npos; at = folder.find('\\', at + 1))
            ASSERT_EQ(unix_nt_mkdir(folder.substr(0, at).c_str()), 0);
        ASSERT_EQ(unix_nt_mkdir(folder.c_str()), 0);
        make(file.c_str(), "0123456789");
        struct nt_stat64 st;
        ASSERT_EQ(unix_nt_stati64(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, 10);
        EXPECT_EQ(st.st_mode, 0x81B6);
        NT_DIR *listing = nt_opendir(folder.c_str());
        ASSERT_NE(listing, nullptr);
        std::vector<std::string> names;
        while (struct nt_dirent *entry = nt_readdir(listing)) names.push_back(entry->d_name);
        nt_closedir(listing);
        EXPECT_EQ(names, (std::vector<std::string>{".", "..", file.substr(file.rfind('\\') + 1)}));
        std::string renamed = folder + "\\renamed";
        ASSERT_EQ(unix_nt_rename(file.c_str(), renamed.c_str()), 0);
        EXPECT_EQ(unix_nt_stati64(file.c_str(), &st), -1);
        EXPECT_EQ(errno, ENOENT);
        ASSERT_EQ(unix_nt_unlink(renamed.c_str()), 0);
        for (std::string gone = folder; !gone.empty();) {
            ASSERT_EQ(unix_nt_rmdir(gone.c_str()), 0) << gone;
            size_t cut = gone.rfind('\\');
            gone = cut == std::string::npos ? "" : gone.substr(0, cut);
        }
    }
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(FileCalls, RenameReplacesEvenReadOnlyTargetsAndKeepsReadOnly) {
    make("source", "new");
    make("target", "old");
    ASSERT_EQ(unix_nt_chmod("target", S_IRUSR), 0);
    EXPECT_TRUE(attributes("target") & FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(unix_nt_rename("source", "target"), 0);
    EXPECT_EQ(read_file(dir_ / "target"), "new");
    EXPECT_FALSE(fs::exists(dir_ / "source"));

    make("ro", "ro");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\posix\\ro", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(unix_nt_rename("ro", "ro2"), 0);
    EXPECT_EQ(attributes("ro2"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(FileCalls, RenameWaitsOutABriefHolderButNotALongOne) {
    make("brief");
    LiveChild brief(file_helper({"open", "C:\\posix\\brief", "1000"}));
    ASSERT_EQ(brief.read_line(), "held");
    EXPECT_EQ(unix_nt_rename("brief", "moved"), 0);
    EXPECT_TRUE(fs::exists(dir_ / "moved"));

    make("long");
    LiveChild holder(file_helper({"open", "C:\\posix\\long", "0"}));
    ASSERT_EQ(holder.read_line(), "held");
    EXPECT_EQ(unix_nt_rename("long", "moved2"), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(_doserrno, ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(fs::exists(dir_ / "long"));
    holder.kill9();
}

TEST_F(FileCalls, UnlinkClearsReadOnlyButLeavesFilesInUseAsTheyWere) {
    make("ro");
    ASSERT_EQ(unix_nt_chmod("ro", S_IRUSR), 0);
    EXPECT_EQ(unix_nt_unlink("ro"), 0);
    EXPECT_FALSE(fs::exists(dir_ / "ro"));
    EXPECT_EQ(unix_nt_unlink("missing"), -1);
    EXPECT_EQ(errno, ENOENT);

    make("busy");
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(SetFileAttributesW(u"C:\\posix\\busy", kept));
    LiveChild holder(file_helper({"open", "C:\\posix\\busy", "0"}));
    ASSERT_EQ(holder.read_line(), "held");
    EXPECT_EQ(unix_nt_unlink("busy"), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(attributes("busy"), kept);
    holder.kill9();
    EXPECT_EQ(unix_nt_unlink("busy"), 0);
}

TEST_F(FileCalls, AnotherUserCannotRemoveOurFilesButCanReadTheirStatus) {
    make("ours");
    fs::permissions(dir_ / "ours", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    int result = as_other_user([] {
        struct nt_stat64 st;
        if (unix_nt_stati64("C:\\posix\\ours", &st) != 0 || st.st_size != 4) return 1;
        if (unix_nt_unlink("C:\\posix\\ours") != -1 || errno != EACCES) return 2;
        if (unix_nt_open("C:\\posix\\ours", O_WRONLY, 0) != -1 || errno != EACCES) return 3;
        if (unix_nt_mkdir("C:\\posix\\theirs") != -1 || errno != EACCES) return 4;
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(fs::exists(dir_ / "ours"));
}

TEST_F(FileCalls, FopenForWritingKeepsTheFileAndEmptiesIt) {
    make("keep", "long content");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\posix\\keep", FILE_ATTRIBUTE_HIDDEN));
    struct stat before {};
    ASSERT_EQ(stat((dir_ / "keep").c_str(), &before), 0);
    FILE *stream = unix_nt_fopen("keep", "w");
    ASSERT_NE(stream, nullptr);
    fputs("new", stream);
    ASSERT_EQ(unix_nt_fclose(stream), 0);
    struct stat after {};
    ASSERT_EQ(stat((dir_ / "keep").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(read_file(dir_ / "keep"), "new");
    EXPECT_EQ(attributes("keep"), FILE_ATTRIBUTE_HIDDEN);
    // The stream's handle closed with it: the file can go.
    EXPECT_EQ(unix_nt_unlink("keep"), 0);

    stream = unix_nt_fopen("keep", "r");
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(unix_nt_fopen("keep", "rbbbbbbbbb"), nullptr);
    EXPECT_EQ(errno, EINVAL);
    make("read", "abc");
    stream = unix_nt_fopen("read", "rb");
    ASSERT_NE(stream, nullptr);
    char text[4] = {};
    EXPECT_EQ(fread(text, 1, 3, stream), 3u);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(unix_nt_fclose(stream), 0);
}

TEST_F(FileCalls, StatusModesByTheModeRule) {
    make("plain");
    make("tool.EXE");
    make("script.cmd");
    make("ro");
    ASSERT_EQ(unix_nt_chmod("ro", S_IRUSR), 0);
    ASSERT_EQ(unix_nt_mkdir("sub"), 0);
    struct Case {
        const char *path;
        uint16_t mode;
    } cases[] = {
        // Files get the runtime's mode, which knows no extensions; folders the mode rule.
        {"plain", 0x81B6}, {"tool.EXE", 0x81B6}, {"script.cmd", 0x81B6},
        {"ro", 0x8124},    {"sub", 0x41FF},      {"sub.exe", 0x41FF},
    };
    ASSERT_EQ(unix_nt_mkdir("sub.exe"), 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        struct nt_stat64 st;
        std::memset(&st, 0xCC, sizeof st);
        ASSERT_EQ(unix_nt_stati64(c.path, &st), 0);
        EXPECT_EQ(st.st_mode, c.mode);
        EXPECT_EQ(st.st_uid, 0);
        EXPECT_EQ(st.st_ino, 0);
    }
    // A folder named with a final separator is not found by name, as on Windows.
    struct nt_stat64 st;
    EXPECT_EQ(unix_nt_stati64("sub\\", &st), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileCalls, DriveRootsAreDirectoriesOfTheFatEpoch) {
    struct nt_stat64 st;
    std::memset(&st, 0xCC, sizeof st);
    ASSERT_EQ(unix_nt_stati64("C:\\", &st), 0);
    EXPECT_EQ(st.st_mode, 0x41FF);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_nlink, 1);
    tm epoch{};
    epoch.tm_year = 80;
    epoch.tm_mday = 1;
    epoch.tm_isdst = -1;
    int64_t placeholder = mktime(&epoch);
    EXPECT_EQ(st.st_mtime64, placeholder);
    EXPECT_EQ(st.st_atime64, placeholder);
    EXPECT_EQ(st.st_ctime64, placeholder);
    EXPECT_EQ(unix_nt_stati64("C:\\posix\\*", &st), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(unix_nt_stati64("C:\\posix\\missing", &st), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileCalls, TimesAreUtcSecondsInAnyZone) {
    make("timed");
    const int32_t kSummer = 1625140800, kWinter = 1609502400;  // 2021-07-01 and 2021-01-01, 12:00 UTC
    struct nt_timeval times[2] = {{kWinter, 0}, {kSummer, 250000}};
    ASSERT_EQ(unix_nt_utimes("timed", times), 0);
    for (const char *zone : {"Europe/Berlin", "Australia/Sydney", "UTC"}) {
        SCOPED_TRACE(zone);
        EXPECT_EQ(in_child([&] {
                      setenv("TZ", zone, 1);
                      tzset();
                      struct nt_stat64 st;
                      if (unix_nt_stati64("timed", &st) != 0) return 1;
                      return st.st_mtime64 == kSummer && st.st_atime64 == kWinter ? 0 : 2;
                  }),
                  0);
    }
    struct nt_utimbuf whole{kWinter, kWinter};
    ASSERT_EQ(unix_nt_utime("timed", &whole), 0);
    struct nt_stat64 st;
    ASSERT_EQ(unix_nt_stati64("timed", &st), 0);
    EXPECT_EQ(st.st_mtime64, kWinter);
    int64_t before = time(nullptr);
    ASSERT_EQ(unix_nt_utime("timed", nullptr), 0);
    ASSERT_EQ(unix_nt_stati64("timed", &st), 0);
    EXPECT_GE(st.st_mtime64, before);
}

TEST_F(FileCalls, TimesOfReadOnlyFilesAndFolders) {
    make("ro");
    ASSERT_EQ(unix_nt_chmod("ro", S_IRUSR), 0);
    struct nt_timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
    // Read-only is cleared for the moment of the change and put back.
    ASSERT_EQ(unix_nt_utimes("ro", times), 0);
    EXPECT_EQ(attributes("ro"), FILE_ATTRIBUTE_READONLY);
    struct stat st {};
    ASSERT_EQ(stat((dir_ / "ro").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000000);
    ASSERT_EQ(unix_nt_mkdir("folder"), 0);
    ASSERT_EQ(stat((dir_ / "folder").c_str(), &st), 0);
    EXPECT_EQ(unix_nt_utimes("folder", times), 0);
    struct stat unchanged {};
    ASSERT_EQ(stat((dir_ / "folder").c_str(), &unchanged), 0);
    EXPECT_EQ(unchanged.st_mtime, st.st_mtime);
    EXPECT_EQ(unix_nt_utimes("missing", times), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileCalls, AccessAndChmodSpeakReadOnly) {
    make("f");
    EXPECT_EQ(unix_nt_access("f", W_OK), 0);
    ASSERT_EQ(unix_nt_chmod("f", S_IRUSR), 0);
    EXPECT_EQ(unix_nt_access("f", R_OK), 0);
    EXPECT_EQ(unix_nt_access("f", W_OK), -1);
    EXPECT_EQ(errno, EACCES);
    ASSERT_EQ(unix_nt_chmod("f", S_IRUSR | S_IWUSR), 0);
    EXPECT_EQ(unix_nt_access("f", W_OK), 0);
    EXPECT_EQ(unix_nt_access("missing", F_OK), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(unix_nt_rmdir("f"), -1);
}

TEST_F(FileCalls, LengthsAndStreamPositions) {
    make("sized", std::string(100, 'x'));
    ASSERT_EQ(nt_truncate64("sized", 10), 0);
    EXPECT_EQ(fs::file_size(dir_ / "sized"), 10u);
    int fd = unix_nt_open("sized", O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(nt_ftruncate64(fd, 5000), 0);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 5000);
    struct nt_stat64 st;
    ASSERT_EQ(unix_nt_fstati64(fd, &st), 0);
    EXPECT_EQ(st.st_size, 5000);
    ASSERT_EQ(unix_nt_close(fd), 0);
    EXPECT_EQ(nt_ftruncate64(fd, 1), -1);
    EXPECT_EQ(errno, EBADF);

    FILE *stream = unix_nt_fopen("sized", "r+");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(nt_fseeko64(stream, 100, 1), 0);
    EXPECT_EQ(nt_ftello64(stream), 100);
    EXPECT_EQ(nt_fseeko64(stream, 100, 1), 0);
    EXPECT_EQ(nt_ftello64(stream), 200);
    EXPECT_EQ(nt_fseeko64(stream, -10, 2), 0);
    EXPECT_EQ(nt_ftello64(stream), 4990);
    fputc('z', stream);
    EXPECT_EQ(nt_ftello64(stream), 4991);
    nt_fpos64_t position = 7;
    EXPECT_EQ(nt_fsetpos64(stream, &position), 0);
    nt_fpos64_t back = -1;
    EXPECT_EQ(nt_fgetpos64(stream, &back), 0);
    EXPECT_EQ(back, 7);
    EXPECT_EQ(nt_fseeko64(stream, 0, 3), -1);
    EXPECT_EQ(errno, EINVAL);
    ASSERT_EQ(unix_nt_fclose(stream), 0);
    EXPECT_EQ(read_file(dir_ / "sized")[4990], 'z');
}

}  // namespace
