// Files through the layer: dispositions, directories, share modes between
// handles, processes and users, attributes in the extended attribute,
// deletes and moves, file pointers and times, searches, volumes and the time
// conversions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "advapi.h"
#include "child_process.h"
#include "file_support.h"
#include "live_child.h"
#include "temp_prefix.h"
#include "winnls.h"

namespace fs = std::filesystem;
using namespace quarn::test;

namespace {

// The names in /dev/shm now.
std::set<std::string> shm_entries() {
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator("/dev/shm")) names.insert(entry.path().filename().string());
    return names;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    bool valid() const { return h != INVALID_HANDLE_VALUE; }
};

HANDLE open_w(const std::string &dos, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING, DWORD flags = 0) {
    return CreateFileW(wide(dos).c_str(), access, share, nullptr, disposition, flags, nullptr);
}

void write_file(const fs::path &file, const std::string &text) {
    FILE *f = fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

class Files : public testing::Test {
protected:
    void SetUp() override { dir_ = drive_c_folder("files"); }
    fs::path dir_;
};

TEST_F(Files, DispositionsAsWindowsHasThem) {
    write_file(dir_ / "old", "content");
    struct Case {
        const char *name;
        DWORD disposition;
        bool opens;
        DWORD error;  // the last error after the call
        uintmax_t size_after;
    } cases[] = {
        {"old", CREATE_NEW, false, ERROR_FILE_EXISTS, 7},
        {"old", OPEN_EXISTING, true, ERROR_SUCCESS, 7},
        {"old", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, 7},
        {"old", TRUNCATE_EXISTING, true, ERROR_SUCCESS, 0},
        {"missing", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, 0},
        {"missing", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, 0},
        {"new1", OPEN_ALWAYS, true, ERROR_SUCCESS, 0},
        {"new2", CREATE_ALWAYS, true, ERROR_SUCCESS, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.disposition));
        SetLastError(0xdeadbeef);
        Handle file(open_w(std::string("C:\\files\\") + c.name, GENERIC_READ | GENERIC_WRITE, 0, c.disposition));
        EXPECT_EQ(file.valid(), c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        if (c.opens) EXPECT_EQ(fs::file_size(dir_ / c.name), c.size_after);
    }
}

TEST_F(Files, DirectoriesOpenOnlyWithBackupSemanticsAndNeverForWriting) {
    fs::create_directory(dir_ / "sub");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Handle(open_w("C:\\files\\sub", GENERIC_READ, kShareAll)).valid());
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Handle(open_w("C:\\files\\sub", GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS)).valid());
    EXPECT_FALSE(Handle(open_w("C:\\files\\sub", GENERIC_WRITE, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS)).valid());
}

TEST_F(Files, ShareModesBetweenHandlesFollowWindowsRules) {
    write_file(dir_ / "shared", "x");
    struct Case {
        DWORD first_access, first_share, second_access, second_share;
        bool second_opens;
    } cases[] = {
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, false},
        {GENERIC_READ, kShareAll, GENERIC_READ, FILE_SHARE_READ, true},
        {GENERIC_WRITE, kShareAll, GENERIC_READ, FILE_SHARE_READ, false},  // the second refuses the first's write
        {GENERIC_READ, 0, FILE_READ_ATTRIBUTES, 0, true},                 // attributes are never shared out
        {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, DELETE, kShareAll, false},
        {DELETE, kShareAll, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ | GENERIC_WRITE,
         FILE_SHARE_READ | FILE_SHARE_WRITE, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.first_access << "/" << c.first_share << " then "
                                        << c.second_access << "/" << c.second_share);
        Handle first(open_w("C:\\files\\shared", c.first_access, c.first_share));
        ASSERT_TRUE(first.valid());
        SetLastError(0xdeadbeef);
        Handle second(open_w("C:\\files\\shared", c.second_access, c.second_share));
        EXPECT_EQ(second.valid(), c.second_opens);
        if (!c.second_opens) EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    }
    // Every hold went with its handle.
    EXPECT_TRUE(Handle(open_w("C:\\files\\shared", GENERIC_READ | GENERIC_WRITE | DELETE, 0)).valid());
}

TEST_F(Files, WriteOnlyOpensAndFoldersMeetTheSameShareModes) {
    write_file(dir_ / "w", "x");
    fs::create_directory(dir_ / "folder");
    struct Case {
        const char *name;
        DWORD first_access, first_share, second_access, second_share, flags;
        bool second_opens;
    } cases[] = {
        {"two writers sharing writes", GENERIC_WRITE, FILE_SHARE_WRITE, GENERIC_WRITE, FILE_SHARE_WRITE, 0, true},
        {"a writer refusing reads", GENERIC_WRITE, FILE_SHARE_WRITE, GENERIC_READ, kShareAll, 0, false},
        {"a reader refusing writes", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, 0, false},
        {"a writer meets a writer that refuses", GENERIC_WRITE, 0, GENERIC_WRITE, kShareAll, 0, false},
        {"folders sharing reads", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ,
         FILE_FLAG_BACKUP_SEMANTICS, true},
        {"a folder refusing reads", GENERIC_READ, 0, GENERIC_READ, kShareAll, FILE_FLAG_BACKUP_SEMANTICS, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const char *name = c.flags ? "C:\\files\\folder" : "C:\\files\\w";
        Handle first(open_w(name, c.first_access, c.first_share, OPEN_EXISTING, c.flags));
        ASSERT_TRUE(first.valid());
        SetLastError(0xdeadbeef);
        Handle second(open_w(name, c.second_access, c.second_share, OPEN_EXISTING, c.flags));
        EXPECT_EQ(second.valid(), c.second_opens);
        if (!c.second_opens) EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    }
}

TEST_F(Files, AnotherProcessHoldsItsShareModesUntilItDies) {
    write_file(dir_ / "held", "x");
    LiveChild holder(file_helper({"hold", "C:\\files\\held", "r", "r", "0"}));
    ASSERT_EQ(holder.read_line(), "held");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Handle(open_w("C:\\files\\held", GENERIC_WRITE, kShareAll)).valid());
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(DeleteFileW(u"C:\\files\\held"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(Handle(open_w("C:\\files\\held", GENERIC_READ, FILE_SHARE_READ)).valid());
    holder.kill9();
    EXPECT_TRUE(Handle(open_w("C:\\files\\held", GENERIC_WRITE, 0)).valid());
    EXPECT_TRUE(DeleteFileW(u"C:\\files\\held"));
}

TEST_F(Files, AProcessThatExitsWithoutClosingHoldsNothingAndLeavesNothing) {
    write_file(dir_ / "left", "x");
    auto before = shm_entries();
    auto r = run_child(file_helper({"hold", "C:\\files\\left", "rw", "-", "20"}));
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    ASSERT_EQ(r.out, "held\n");
    EXPECT_TRUE(Handle(open_w("C:\\files\\left", GENERIC_READ | GENERIC_WRITE, 0)).valid());
    for (const auto &name : shm_entries()) EXPECT_TRUE(before.count(name) || name.rfind("quarn-share", 0) != 0) << name;
}

TEST_F(Files, NobodyWhoCannotOpenAFileCanFakeItsShareModes) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    write_file(dir_ / "private", "x");
    fs::permissions(dir_ / "private", fs::perms::owner_read | fs::perms::owner_write);
    struct stat st {};
    ASSERT_EQ(stat((dir_ / "private").c_str(), &st), 0);
    // What the other user can reach: a file of the name share modes once used,
    // which it plants and locks all over.
    char planted[96];
    snprintf(planted, sizeof planted, "/dev/shm/quarn-share.%llx.%llx", (unsigned long long)st.st_dev,
             (unsigned long long)st.st_ino);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        close(pipe_fds[0]);
        if (setresgid(kNobody, kNobody, kNobody) != 0 || setresuid(kNobody, kNobody, kNobody) != 0) _exit(1);
        char ok = 'n';
        int fd = open(planted, O_RDWR | O_CREAT, 0666);
        struct flock everything {};
        everything.l_type = F_WRLCK;
        everything.l_whence = SEEK_SET;
        if (fd != -1 && fcntl(fd, F_OFD_SETLK, &everything) == 0) ok = 'y';
        // The file itself is closed to it.
        if (open((dir_ / "private").c_str(), O_RDONLY) != -1) ok = 'n';
        if (write(pipe_fds[1], &ok, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    close(pipe_fds[1]);
    char ok = 0;
    ASSERT_EQ(read(pipe_fds[0], &ok, 1), 1);
    close(pipe_fds[0]);
    EXPECT_EQ(ok, 'y');
    EXPECT_TRUE(Handle(open_w("C:\\files\\private", GENERIC_READ | GENERIC_WRITE | DELETE, 0)).valid());
    EXPECT_TRUE(DeleteFileW(u"C:\\files\\private"));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    unlink(planted);
}

TEST_F(Files, AnotherUserMeetsTheSameShareModesButNotOurFiles) {
    write_file(dir_ / "ours", "x");
    fs::permissions(dir_ / "ours", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read |
                                       fs::perms::group_read);
    Handle held(open_w("C:\\files\\ours", GENERIC_READ, FILE_SHARE_READ));
    ASSERT_TRUE(held.valid());
    int result = as_other_user([] {
        // Reading is shared with it; deleting is not, and the folder is not its to change anyway.
        HANDLE reader = open_w("C:\\files\\ours", GENERIC_READ, FILE_SHARE_READ);
        if (reader == INVALID_HANDLE_VALUE) return 1;
        CloseHandle(reader);
        if (open_w("C:\\files\\ours", GENERIC_READ, 0) != INVALID_HANDLE_VALUE) return 2;
        if (GetLastError() != ERROR_SHARING_VIOLATION) return 3;
        if (open_w("C:\\files\\ours", GENERIC_WRITE, kShareAll) != INVALID_HANDLE_VALUE) return 4;
        if (GetLastError() != ERROR_ACCESS_DENIED) return 5;
        if (open_w("C:\\files\\theirs", GENERIC_WRITE, 0, CREATE_NEW) != INVALID_HANDLE_VALUE) return 6;
        if (GetLastError() != ERROR_ACCESS_DENIED) return 7;
        return 0;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(Files, ASectionKeepsItsFilesShareModes) {
    write_file(dir_ / "mapped", std::string(4096, 'm'));
    HANDLE file = open_w("C:\\files\\mapped", GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE section = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(section, nullptr);
    CloseHandle(file);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Handle(open_w("C:\\files\\mapped", GENERIC_READ, kShareAll)).valid());
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(section);
    EXPECT_TRUE(Handle(open_w("C:\\files\\mapped", GENERIC_READ, kShareAll)).valid());
}

TEST_F(Files, AttributesLiveInTheModeAndTheExtendedAttribute) {
    write_file(dir_ / "a", "x");
    EXPECT_EQ(GetFileAttributesW(u"C:\\files\\a"), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(SetFileAttributesW(u"C:\\files\\a", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesW(u"C:\\files\\a"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    struct stat st {};
    ASSERT_EQ(stat((dir_ / "a").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    char text[16] = {};
    EXPECT_EQ(getxattr((dir_ / "a").c_str(), "user.DOSATTRIB", text, sizeof text), 5);
    EXPECT_STREQ(text, "0x22");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\files\\a", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"C:\\files\\a"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(getxattr((dir_ / "a").c_str(), "user.DOSATTRIB", text, sizeof text), -1);
    EXPECT_EQ(GetFileAttributesA((dir_ / "a").c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(u"C:\\files"), FILE_ATTRIBUTE_DIRECTORY);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesW(u"C:\\files\\missing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(Files, DeleteRefusesReadOnlyFilesAndFolders) {
    write_file(dir_ / "ro", "x");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\files\\ro", FILE_ATTRIBUTE_READONLY));
    struct Case {
        const char16_t *name;
        DWORD error;
    } cases[] = {{u"C:\\files\\ro", ERROR_ACCESS_DENIED},
                 {u"C:\\files", ERROR_ACCESS_DENIED},
                 {u"C:\\files\\missing", ERROR_FILE_NOT_FOUND}};
    for (const auto &c : cases) {
        SCOPED_TRACE(thin(c.name));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(DeleteFileW(c.name));
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_TRUE(fs::exists(dir_ / "ro"));
}

TEST_F(Files, MoveNeverReplaces) {
    write_file(dir_ / "from", "from");
    write_file(dir_ / "to", "to");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileW(u"C:\\files\\from", u"C:\\files\\to"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(read_file(dir_ / "to"), "to");
    EXPECT_TRUE(MoveFileW(u"C:\\files\\from", u"C:\\files\\moved"));
    EXPECT_EQ(read_file(dir_ / "moved"), "from");
    EXPECT_FALSE(MoveFileW(u"C:\\files\\from", u"C:\\files\\again"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(Files, PointerEndAndTimesThroughTheHandle) {
    Handle file(open_w("C:\\files\\data", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW));
    ASSERT_TRUE(file.valid());
    std::string hundred(100, 'x');
    DWORD written = 0xdeadbeef;
    ASSERT_TRUE(WriteFile(file.h, hundred.data(), 100, &written, nullptr));
    EXPECT_EQ(written, 100u);
    EXPECT_EQ(SetFilePointer(file.h, 10, nullptr, FILE_BEGIN), 10u);
    ASSERT_TRUE(SetEndOfFile(file.h));
    EXPECT_EQ(GetFileSize(file.h, nullptr), 10u);
    EXPECT_EQ(SetFilePointer(file.h, -4, nullptr, FILE_END), 6u);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFilePointer(file.h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(file.h, 5, &high, FILE_BEGIN), 5u);  // 4 GiB + 5
    EXPECT_EQ(high, 1);
    ASSERT_TRUE(SetEndOfFile(file.h));
    DWORD size_high = 0;
    EXPECT_EQ(GetFileSize(file.h, &size_high), 5u);
    EXPECT_EQ(size_high, 1u);

    FILETIME access{0x12345600, 0x01D00000}, write{0x65432100, 0x01C00000};
    ASSERT_TRUE(SetFileTime(file.h, nullptr, &access, &write));
    BY_HANDLE_FILE_INFORMATION info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_TRUE(GetFileInformationByHandle(file.h, &info));
    EXPECT_EQ(info.ftLastWriteTime.dwHighDateTime, write.dwHighDateTime);
    EXPECT_EQ(info.ftLastWriteTime.dwLowDateTime, write.dwLowDateTime);
    EXPECT_EQ(info.ftLastAccessTime.dwLowDateTime, access.dwLowDateTime);
    EXPECT_EQ(info.nFileSizeHigh, 1u);
    EXPECT_EQ(info.nFileSizeLow, 5u);
    EXPECT_EQ(info.nNumberOfLinks, 1u);
    EXPECT_EQ(info.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    struct stat st {};
    ASSERT_EQ(stat((dir_ / "data").c_str(), &st), 0);
    EXPECT_EQ(info.nFileIndexLow, static_cast<DWORD>(st.st_ino));
}

std::vector<std::string> find_all(const std::string &pattern, DWORD *error = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    std::memset(&data, 0xCC, sizeof data);
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return names;
    }
    do names.push_back(data.cFileName);
    while (FindNextFileA(find, &data));
    if (error) *error = GetLastError();
    FindClose(find);
    return names;
}

TEST_F(Files, SearchesMatchWildcardsAsWindowsDoes) {
    for (const char *name : {"a.txt", "B.TXT", "readme", "ab.c", "abc.cpp", "x.y.z"}) write_file(dir_ / name, "");
    struct Case {
        const char *pattern;
        std::set<std::string> names;
    } cases[] = {
        {"*.*", {".", "..", "a.txt", "B.TXT", "readme", "ab.c", "abc.cpp", "x.y.z"}},
        {"*", {".", "..", "a.txt", "B.TXT", "readme", "ab.c", "abc.cpp", "x.y.z"}},
        {"*.txt", {"a.txt", "B.TXT"}},
        {"?.txt", {"a.txt", "B.TXT"}},
        {"ab?.c*", {"abc.cpp"}},
        {"ab.c??", {"ab.c"}},
        {"*.", {".", "..", "readme"}},
        {"readme", {"readme"}},
        {"*.z", {"x.y.z"}},
        {"nothing*", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pattern);
        DWORD error = 0;
        auto found = find_all("C:\\files\\" + std::string(c.pattern), &error);
        EXPECT_EQ(std::set<std::string>(found.begin(), found.end()), c.names);
        EXPECT_EQ(error, c.names.empty() ? ERROR_FILE_NOT_FOUND : ERROR_NO_MORE_FILES);
    }
    auto all = find_all("C:\\files\\*.*");
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0], ".");
    EXPECT_EQ(all[1], "..");
    DWORD error = 0;
    EXPECT_TRUE(find_all("C:\\missing\\*.*", &error).empty());
    EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, ADriveRootListsNoDots) {
    fs::path root = process_prefix().path() / "rootdrive";
    fs::create_directories(root / "inside");
    fs::create_directories(process_prefix().path() / "dosdevices");
    fs::create_directory_symlink(root, process_prefix().path() / "dosdevices" / "r:");
    EXPECT_EQ(find_all("R:\\*"), std::vector<std::string>{"inside"});
    EXPECT_EQ(find_all("\\\\?\\R:\\*.*"), std::vector<std::string>{"inside"});
    fs::remove(process_prefix().path() / "dosdevices" / "r:");
}

TEST_F(Files, DrivesAndVolumes) {
    fs::create_directories(process_prefix().path() / "dosdevices");
    fs::create_directory_symlink("/dev/shm", process_prefix().path() / "dosdevices" / "m:");
    EXPECT_EQ(GetDriveTypeW(u"C:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("M:\\"), DRIVE_RAMDISK);
    EXPECT_EQ(GetDriveTypeW(u"Q:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeW(u"C:\\files"), DRIVE_NO_ROOT_DIR);
    char name[8], fs_name[8];
    std::memset(fs_name, 0xCC, sizeof fs_name);
    DWORD serial = 0xdeadbeef, longest = 0xdeadbeef, flags = 0xdeadbeef;
    ASSERT_TRUE(GetVolumeInformationA("C:\\", name, sizeof name, &serial, &longest, &flags, fs_name, sizeof fs_name));
    EXPECT_STREQ(fs_name, "NTFS");
    EXPECT_EQ(longest, 255u);
    EXPECT_TRUE(flags & FILE_CASE_PRESERVED_NAMES);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetVolumeInformationA("C:\\", nullptr, 0, nullptr, nullptr, nullptr, fs_name, 4));
    EXPECT_EQ(GetLastError(), ERROR_BAD_LENGTH);
    EXPECT_FALSE(GetVolumeInformationA("C:", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_FALSE(GetVolumeInformationA("Q:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
    fs::remove(process_prefix().path() / "dosdevices" / "m:");
}

TEST_F(Files, DosDevicesNameTheVolumes) {
    char list[256];
    std::memset(list, 0xCC, sizeof list);
    DWORD length = QueryDosDeviceA(nullptr, list, sizeof list);
    ASSERT_GT(length, 0u);
    std::vector<std::string> names;
    for (const char *p = list; *p; p += strlen(p) + 1) names.push_back(p);
    EXPECT_EQ(list[length - 1], '\0');
    EXPECT_EQ(static_cast<unsigned char>(list[length]), 0xCC);
    EXPECT_EQ(names.front(), "C:");
    EXPECT_EQ(names.back(), "UNC");
    char target[64];
    ASSERT_GT(QueryDosDeviceA("c:", target, sizeof target), 0u);
    EXPECT_STREQ(target, "\\Device\\HarddiskVolume1");
    ASSERT_GT(QueryDosDeviceA("UNC", target, sizeof target), 0u);
    EXPECT_STREQ(target, "\\Device\\Mup");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(QueryDosDeviceA("C:", target, 8), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(QueryDosDeviceA("Q:", target, sizeof target), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(TimeConversions, SystemAndFileTimesRoundTrip) {
    struct Case {
        SYSTEMTIME time;
        uint64_t file_time;
    } cases[] = {
        {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
        {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000ull},
        {{1980, 1, 2, 1, 0, 0, 0, 0}, 119600064000000000ull},
        {{2024, 2, 4, 29, 23, 59, 59, 999}, 133537247999990000ull},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.time.wYear);
        FILETIME ft{0xdeadbeef, 0xdeadbeef};
        ASSERT_TRUE(SystemTimeToFileTime(&c.time, &ft));
        EXPECT_EQ((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, c.file_time);
        SYSTEMTIME back;
        std::memset(&back, 0xCC, sizeof back);
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
        EXPECT_EQ(std::memcmp(&back, &c.time, sizeof back), 0);
    }
    SYSTEMTIME bad{2023, 2, 0, 30, 0, 0, 0, 0};
    FILETIME ft;
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
}

TEST(TimeConversions, LocalTimesUseTheBiasOfTheirOwnDateOrOfNow) {
    // In a zone with daylight saving, a summer date shifts by the summer bias.
    int result = in_child([] {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        SYSTEMTIME summer{2021, 7, 0, 1, 12, 0, 0, 0}, local;
        if (!SystemTimeToTzSpecificLocalTime(nullptr, &summer, &local) || local.wHour != 14) return 1;
        SYSTEMTIME winter{2021, 1, 0, 1, 12, 0, 0, 0};
        if (!SystemTimeToTzSpecificLocalTime(nullptr, &winter, &local) || local.wHour != 13) return 2;
        return 0;
    });
    EXPECT_EQ(result, 0);
}

}  // namespace
