// Directory streams: the first entry, separators, empty folders and drive
// roots, the entry layout and the length limit.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "file_support.h"
#include "ntposix.h"
#include "temp_prefix.h"
#include "win32.h"

namespace fs = std::filesystem;
using namespace quarn::test;

namespace {

std::vector<std::string> list(const std::string &path) {
    std::vector<std::string> names;
    NT_DIR *dir = nt_opendir(path.c_str());
    if (!dir) return {"fail " + std::to_string(errno)};
    while (struct nt_dirent *entry = nt_readdir(dir)) {
        EXPECT_EQ(entry->d_namlen, strlen(entry->d_name));
        EXPECT_EQ(entry->d_reclen, entry->d_namlen + 5);
        names.push_back(entry->d_name);
    }
    EXPECT_EQ(nt_readdir(dir), nullptr);  // stays at the end
    EXPECT_EQ(nt_closedir(dir), 0);
    return names;
}

TEST(DirectoryStream, WithOrWithoutASeparatorTheSameEntries) {
    fs::path dir = drive_c_folder("stream");
    std::ofstream(dir / "one");
    fs::create_directory(dir / "two");
    std::vector<std::string> expected{".", "..", "one", "two"};
    for (const char *path : {"C:\\stream", "C:\\stream\\", "C:/stream/", "C:\\stream\\two\\.."}) {
        SCOPED_TRACE(path);
        auto names = list(path);
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names[0], ".");
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, expected);
    }
    EXPECT_EQ(list("C:\\stream\\two"), (std::vector<std::string>{".", ".."}));
    EXPECT_EQ(list("C:\\stream\\missing"), std::vector<std::string>{"fail " + std::to_string(ENOENT)});
    EXPECT_EQ(list("C:\\stream\\one"), std::vector<std::string>{"fail " + std::to_string(ENOENT)});
}

TEST(DirectoryStream, ReaddirRGivesTheSameSequenceIntoTheCallersEntry) {
    fs::path dir = drive_c_folder("stream_r");
    std::ofstream(dir / "only");
    NT_DIR *stream = nt_opendir("C:\\stream_r");
    ASSERT_NE(stream, nullptr);
    std::vector<std::string> names;
    struct nt_dirent entry;
    struct nt_dirent *result;
    for (;;) {
        std::memset(&entry, 0xCC, sizeof entry);
        result = reinterpret_cast<struct nt_dirent *>(0xdeadbeef);
        ASSERT_EQ(nt_readdir_r(stream, &entry, &result), 0);
        if (!result) break;
        EXPECT_EQ(result, &entry);
        EXPECT_EQ(static_cast<unsigned char>(entry.d_name[entry.d_namlen + 1]), 0xCC);
        names.push_back(entry.d_name);
    }
    EXPECT_EQ(_doserrno, ERROR_NO_MORE_FILES);
    nt_closedir(stream);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "only"}));
}

TEST(DirectoryStream, ALongNameComesBackWhole) {
    fs::path dir = drive_c_folder("stream_long");
    std::string name(255, 'n');
    std::ofstream(dir / name);
    NT_DIR *stream = nt_opendir("C:\\stream_long");
    ASSERT_NE(stream, nullptr);
    struct nt_dirent *entry = nullptr;
    for (int i = 0; i < 3; ++i) entry = nt_readdir(stream);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->d_name, name);
    EXPECT_EQ(entry->d_namlen, 255);
    EXPECT_EQ(entry->d_reclen, 260);
    nt_closedir(stream);
}

TEST(DirectoryStream, AnEmptyDriveRootOpensWithNoEntries) {
    fs::path root = process_prefix().path() / "empty_root";
    fs::create_directories(root);
    fs::create_directories(process_prefix().path() / "dosdevices");
    fs::create_directory_symlink(root, process_prefix().path() / "dosdevices" / "e:");
    NT_DIR *stream = nt_opendir("E:\\");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(nt_readdir(stream), nullptr);
    nt_closedir(stream);
    std::ofstream(root / "file");
    EXPECT_EQ(list("E:"), std::vector<std::string>{"file"});
    fs::remove(process_prefix().path() / "dosdevices" / "e:");
}

TEST(DirectoryStream, PathsOf1020BytesAreRefusedBeforeAnythingIsTried) {
    std::string too_long = "C:\\" + std::string(1017, 'x');
    ASSERT_EQ(too_long.size(), 1020u);
    SetLastError(0xdeadbeef);
    errno = 0;
    EXPECT_EQ(nt_opendir(too_long.c_str()), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);  // refused before any conversion
    too_long.pop_back();
    EXPECT_EQ(nt_opendir(too_long.c_str()), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);  // tried: the wide path does not fit
}

}  // namespace
