// Drive kinds, file-system kinds and ACL support of real volumes (the disk
// under the test's prefix, a tmpfs, and a ramfs, which keeps neither ACLs
// nor extended attributes, each mounted in a private mount namespace), and
// the file attribute helpers on real files of those volumes and as another user.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "file_support.h"
#include "forked_child.h"
#include "nt.h"
#include "temp_prefix.h"
#include "win32.h"

namespace {

namespace fs = std::filesystem;
using quarn::test::drive_c_folder;
using quarn::test::process_prefix;

constexpr int kPoison = static_cast<int>(0xdeadbeef);

// Whether the file system of `folder` keeps POSIX ACLs: one that names a
// second user can be given to a file there.
bool acl_can_be_set(const fs::path &folder) {
    struct Entry {
        uint16_t tag, perm;
        uint32_t id;
    };
    struct {
        uint32_t version = 2;
        Entry entries[5] = {{0x01, 6, ~0u}, {0x02, 4, 65534}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 4, ~0u}};
    } acl;
    fs::path probe = folder / "acl-probe";
    std::ofstream{probe};
    bool kept = setxattr(probe.c_str(), "system.posix_acl_access", &acl, sizeof acl, 0) == 0;
    fs::remove(probe);
    return kept;
}

// "drive-result drive-kind fs-result fs-kind acl-result acl-flag" of `path`,
// every out value poisoned first.
std::string kinds_of(const char *path) {
    int drive = kPoison, fs_kind = kPoison, acl = kPoison;
    int drive_result = nt_get_drive_type(path, &drive);
    int fs_result = nt_get_fs_type(path, &fs_kind);
    int acl_result = nt_fs_has_acl(path, &acl);
    char text[96];
    std::snprintf(text, sizeof text, "%d %d %d %d %d %d", drive_result, drive, fs_result, fs_kind, acl_result, acl);
    return text;
}

// A drive letter of the test's prefix standing for `target` while it lives.
class DriveLink {
public:
    DriveLink(char letter, const fs::path &target)
        : link_(process_prefix().path() / "dosdevices" / std::string{letter, ':'}) {
        fs::create_directories(link_.parent_path());
        fs::create_directory_symlink(target, link_);
    }
    ~DriveLink() {
        std::error_code ec;
        fs::remove(link_, ec);
    }
    DriveLink(const DriveLink &) = delete;
    DriveLink &operator=(const DriveLink &) = delete;

private:
    fs::path link_;
};

// Runs `body` in a child with a file system of `type` mounted at `folder`,
// in a mount namespace of its own; "<skip: why>" where mounting is refused.
std::string with_mounted(const char *type, const fs::path &folder, const std::function<std::string()> &body) {
    return quarn::test::in_child([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(type, folder.c_str(), type, 0, "mode=0755") != 0)
            return std::string("<skip: mounting ") + type + " was refused: " + std::strerror(errno) + ">";
        return body();
    });
}

TEST(VolumeFacts, KindsOfTheDiskUnderThePrefix) {
    fs::path disk = drive_c_folder("volume");
    // The prefix lives on the machine's disk: ext4, xfs, btrfs or an overlay over one.
    std::string acl = acl_can_be_set(disk) ? "8" : "0";
    struct Case {
        const char *path, *expected;
    } cases[] = {
        {"C:\\", "0 1 0 1 0 "},
        {"C:\\volume\\missing\\file.txt", "0 1 0 1 0 "},
        {"c:/volume", "0 1 0 1 0 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(kinds_of(c.path), c.expected + acl);
    }
    // The kinds are those of the drive's root, whatever is mounted further down.
    EXPECT_TRUE(kinds_of("Z:\\dev\\shm").starts_with("0 1 0 1 0 "));
}

TEST(VolumeFacts, KindsOfATmpfsAndOfARamfs) {
    struct Case {
        const char *type;
        char letter;
        const char *expected;  // without the ACL flag
    } cases[] = {{"tmpfs", 'T', "0 5 0 3 0 "}, {"ramfs", 'R', "0 5 0 3 0 "}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type);
        fs::path folder = process_prefix().path() / c.type;
        fs::create_directories(folder);
        DriveLink drive(c.letter, folder);
        std::string answer = with_mounted(c.type, folder, [&] {
            std::string path = std::string{c.letter} + ":\\dir\\file";
            return kinds_of(path.c_str()) + " acl-settable=" + (acl_can_be_set(folder) ? "1" : "0");
        });
        if (answer.starts_with("<skip")) {
            GTEST_SKIP() << answer;
        }
        bool acls = answer.ends_with("=1");
        EXPECT_EQ(answer, c.expected + std::string(acls ? "8" : "0") + " acl-settable=" + (acls ? "1" : "0"));
        if (std::string_view(c.type) == "ramfs") {
            EXPECT_FALSE(acls) << "ramfs keeps no ACLs";
        }
    }
}

TEST(VolumeFacts, PathsWithoutAKnownDriveFail) {
    drive_c_folder("volume");
    std::string long_name = "C:\\volume\\" + std::string(300, 'n');
    std::string longer_name = "C:\\volume\\" + std::string(1100, 'n');
    struct Case {
        const char *name;
        const char *path;
        const char *expected;
    } cases[] = {
        {"unknown drive", "Q:\\x", "-1 0 -1 3 -1 -559038737"},
        {"network path", "\\\\server\\share\\x", "-1 0 -1 3 -1 -559038737"},
        // Past MAX_PATH only the file-system kind, which takes 1024 bytes, answers.
        {"300 characters", long_name.c_str(), "-1 0 0 1 -1 -559038737"},
        // Past 1024 bytes the path cannot be made absolute: the kind is left alone.
        {"1100 characters", longer_name.c_str(), "-1 0 -1 -559038737 -1 -559038737"},
        {"empty", "", "-1 0 -1 -559038737 -1 -559038737"},
        {"null", nullptr, "-1 0 -1 -559038737 -1 -559038737"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(kinds_of(c.path), c.expected);
    }
    EXPECT_EQ(nt_get_drive_type("C:\\", nullptr), -1);
    EXPECT_EQ(nt_get_fs_type("C:\\", nullptr), -1);
    EXPECT_EQ(nt_fs_has_acl("C:\\", nullptr), -1);
}

// What the attribute helpers do to a new file `name` (mode 0644) in `folder`,
// which drive path `dos` names, step by step: each helper's result (with the
// last error after a failure), the owner's mode bits and the stored DOS attributes.
std::string attribute_story(const fs::path &folder, const std::string &dos) {
    fs::path file = folder / "story";
    std::ofstream{file} << "text";
    fs::permissions(file, fs::perms(0644));
    const char *path = dos.c_str();
    std::string story;
    auto step = [&](const char *what, int result) {
        story += std::string(what) + "=" + std::to_string(result);
        if (!result && std::string_view(what) != "ro") story += "(" + std::to_string(GetLastError()) + ")";
        story += " ";
    };
    auto facts = [&] {
        struct stat st {};
        ::stat(file.c_str(), &st);
        char stored[32] = "-";
        ssize_t n = getxattr(file.c_str(), "user.DOSATTRIB", stored, sizeof stored - 1);
        if (n >= 0) stored[n] = '\0';
        char text[64];
        std::snprintf(text, sizeof text, "[%o %s] ", st.st_mode & 0777, n >= 0 ? stored : "-");
        story += text;
    };
    struct stat before {};
    ::stat(file.c_str(), &before);
    step("ro", nt_get_file_readonly(path));
    step("unset", nt_unset_file_readonly(path));
    struct stat after {};
    ::stat(file.c_str(), &after);
    story += before.st_ctim.tv_nsec == after.st_ctim.tv_nsec && before.st_ctim.tv_sec == after.st_ctim.tv_sec
                 ? "untouched "
                 : "written ";
    step("setro", nt_set_file_readonly(path));
    facts();
    step("ro", nt_get_file_readonly(path));
    step("hidden", nt_set_file_hidden(path));
    facts();
    step("archive", nt_set_file_archive(path));
    facts();
    step("unset", nt_unset_file_readonly(path));
    facts();
    step("ro", nt_get_file_readonly(path));
    fs::remove(file);
    return story;
}

constexpr char kKeptStory[] =
    "ro=0 unset=1 untouched setro=1 [444 -] ro=1 hidden=1 [444 0x2] archive=1 [444 0x22] unset=1 [644 0x22] ro=0 ";

TEST(FileAttributeHelpers, OnTheDiskReadOnlyIsTheWriteBitAndTheRestAnExtendedAttribute) {
    fs::path folder = drive_c_folder("attributes");
    EXPECT_EQ(attribute_story(folder, "C:\\attributes\\story"), kKeptStory);
}

TEST(FileAttributeHelpers, ATmpfsKeepsThemAndARamfsRefusesAllButReadOnly) {
    struct Case {
        const char *type;
        char letter;
        const char *expected;
    } cases[] = {
        {"tmpfs", 'T', kKeptStory},
        // No extended attributes: hidden and archive fail as not supported (50) and change nothing.
        {"ramfs", 'R',
         "ro=0 unset=1 untouched setro=1 [444 -] ro=1 hidden=0(50) [444 -] archive=0(50) [444 -] unset=1 [644 -] ro=0 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type);
        fs::path folder = process_prefix().path() / c.type;
        fs::create_directories(folder);
        DriveLink drive(c.letter, folder);
        std::string answer =
            with_mounted(c.type, folder, [&] { return attribute_story(folder, std::string{c.letter} + ":\\story"); });
        if (answer.starts_with("<skip")) {
            GTEST_SKIP() << answer;
        }
        EXPECT_EQ(answer, c.expected);
    }
}

TEST(FileAttributeHelpers, MissingFilesAndNullPaths) {
    drive_c_folder("attributes");
    struct Case {
        const char *path;
        DWORD error;
    } cases[] = {{"C:\\attributes\\missing", ERROR_FILE_NOT_FOUND}, {nullptr, ERROR_INVALID_PARAMETER}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path ? c.path : "null");
        EXPECT_EQ(nt_get_file_readonly(c.path), 1);  // unreadable attributes count as read-only
        for (auto helper : {nt_set_file_readonly, nt_set_file_archive, nt_set_file_hidden, nt_unset_file_readonly}) {
            SetLastError(0xdeadbeef);
            EXPECT_EQ(helper(c.path), 0);
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
}

TEST(FileAttributeHelpers, AnotherUserChangesItsOwnFilesOnly) {
    fs::path folder = drive_c_folder("shared");
    std::ofstream{folder / "roots"} << "r";
    fs::permissions(folder / "roots", fs::perms(0644));
    std::ofstream{folder / "nobodys"} << "n";
    fs::permissions(folder / "nobodys", fs::perms(0444));
    ASSERT_EQ(chown((folder / "nobodys").c_str(), 65534, 65534), 0);
    fs::create_directory(folder / "closed");
    fs::permissions(folder / "closed", fs::perms(0700));
    std::ofstream{folder / "closed" / "inside"} << "c";
    std::string answer = quarn::test::in_child([]() -> std::string {
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) return "<setresuid>";
        std::string said;
        auto say = [&](int result) {
            said += std::to_string(result);
            said += result ? " " : "(" + std::to_string(GetLastError()) + ") ";
        };
        auto query = [&](int result) { said += std::to_string(result) + " "; };
        // Root's file: readable, but its attributes are root's to change.
        query(nt_get_file_readonly("C:\\shared\\roots"));
        say(nt_set_file_readonly("C:\\shared\\roots"));
        say(nt_set_file_hidden("C:\\shared\\roots"));
        // Its own read-only file: hidden is written although nobody may write the file.
        say(nt_set_file_hidden("C:\\shared\\nobodys"));
        query(nt_get_file_readonly("C:\\shared\\nobodys"));
        say(nt_unset_file_readonly("C:\\shared\\nobodys"));
        say(nt_set_file_readonly("C:\\shared\\nobodys"));
        // Behind a folder it may not search, nothing can be read.
        query(nt_get_file_readonly("C:\\shared\\closed\\inside"));
        say(nt_unset_file_readonly("C:\\shared\\closed\\inside"));
        return said;
    });
    EXPECT_EQ(answer, "0 0(5) 0(5) 1 1 1 1 1 0(5) ");
    struct stat st {};
    ASSERT_EQ(::stat((folder / "roots").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(::stat((folder / "nobodys").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    char stored[16] = {};
    EXPECT_GT(getxattr((folder / "nobodys").c_str(), "user.DOSATTRIB", stored, sizeof stored - 1), 0);
    EXPECT_STREQ(stored, "0x2");
}

}  // namespace
