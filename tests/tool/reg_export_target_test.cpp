// Where quarn reg export writes: a link's target, another owner's file kept
// theirs, a FIFO and a device written in place, a full disk that leaves the
// old file whole, and memory that does not grow with a large value.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "reg_tool_support.h"
#include "small_tmpfs.h"

namespace quarn::test {
namespace {

using RegExportTarget = RegTool;

const std::string kBom = "\xFF\xFE";

TEST_F(RegExportTarget, ALinkIsFollowedToItsTarget) {
    reg_ok({"add", "HKCU\\T", "/v", "a", "/d", "1"});
    prefix_.write("target.reg", "old");
    std::filesystem::create_symlink("target.reg", path("link.reg"));
    reg_ok({"export", "HKCU\\T", path("link.reg"), "/y"});
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.reg")));
    EXPECT_TRUE(read_file(path("target.reg")).starts_with(kBom));
    // A link to a file not yet there makes the file.
    std::filesystem::create_symlink("later.reg", path("dangling.reg"));
    reg_ok({"export", "HKCU\\T", path("dangling.reg"), "/y"});
    EXPECT_TRUE(std::filesystem::is_symlink(path("dangling.reg")));
    EXPECT_TRUE(read_file(path("later.reg")).starts_with(kBom));
}

TEST_F(RegExportTarget, AnotherOwnersFileKeepsItsOwnerAndMode) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
    reg_ok({"add", "HKCU\\T", "/v", "a", "/d", "1"});
    prefix_.write("theirs.reg", "old");
    ASSERT_EQ(chown(path("theirs.reg").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(path("theirs.reg").c_str(), 0600), 0);
    reg_ok({"export", "HKCU\\T", path("theirs.reg"), "/y"});
    struct stat info;
    ASSERT_EQ(stat(path("theirs.reg").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_TRUE(read_file(path("theirs.reg")).starts_with(kBom));
}

TEST_F(RegExportTarget, AFifoIsWrittenInPlace) {
    reg_ok({"add", "HKCU\\T", "/v", "a", "/d", "1"});
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        int fd = open(path("pipe").c_str(), O_RDONLY | O_CLOEXEC);
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) received.append(buffer, n);
        if (fd >= 0) close(fd);
    });
    ChildResult result = reg({"export", "HKCU\\T", path("pipe"), "/y"});
    // A reader still waiting (the export never opened the FIFO) is let go.
    int late = open(path("pipe").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (late >= 0) close(late);
    reader.join();
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(std::filesystem::is_fifo(path("pipe")));
    EXPECT_TRUE(received.starts_with(kBom)) << received.size();
    EXPECT_NE(utf16_file_text(received).find("\"a\"=\"1\""), std::string::npos);
}

TEST_F(RegExportTarget, ADeviceIsWrittenInPlaceAndItsErrorReported) {
    reg_ok({"add", "HKCU\\T", "/v", "a", "/d", "1"});
    // The device of /dev/full, made inside the prefix so that nothing of the machine is at stake.
    if (mknod(path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
    ChildResult result = reg({"export", "HKCU\\T", path("full"), "/y"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "ERROR: Cannot write the file " + path("full") + ".\n");
    struct stat info;
    ASSERT_EQ(lstat(path("full").c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(info.st_rdev, makedev(1, 7));
}

TEST_F(RegExportTarget, AFullDiskFailsAndKeepsTheOldFile) {
    SmallTmpfs disk(path("disk"), 64 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << disk.refusal();
    reg_ok({"add", "HKCU\\T", "/v", "a", "/d", "1"});
    const std::string file = path("disk/old.reg");
    prefix_.write("disk/old.reg", "keep me");
    disk.fill();
    ChildResult result = reg({"export", "HKCU\\T", file, "/y"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "ERROR: Cannot write the file " + file + ".\n");
    EXPECT_EQ(read_file(file), "keep me");
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(path("disk")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"filler", "old.reg"}));
}

// The largest resident size of quarn ARGS, in KiB.
long peak_kib(const std::string &prefix, std::vector<std::string> args) {
    args.insert(args.begin(), QUARN_TOOL);
    pid_t pid = fork();
    if (pid == 0) {
        setenv("QUARN_PREFIX", prefix.c_str(), 1);
        // Under the address sanitizer freed blocks would stay in its quarantine
        // and count as if still held.
        const char *asan = getenv("ASAN_OPTIONS");
        std::string options = std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "quarantine_size_mb=0";
        setenv("ASAN_OPTIONS", options.c_str(), 1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        std::vector<char *> argv;
        for (auto &arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    EXPECT_EQ(wait4(pid, &status, 0, &usage), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return usage.ru_maxrss;
}

TEST_F(RegExportTarget, MemoryDoesNotGrowWithALargeValue) {
    constexpr long kValue = 16 << 20;
    reg_ok({"add", "HKLM\\Big", "/v", "small", "/d", "1"});
    long small = peak_kib(prefix_.path(), {"reg", "export", "HKLM\\Big", path("small.reg"), "/y"});
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path("registry/machine.db").c_str(), &db), SQLITE_OK);
    std::string sql = "INSERT INTO vals(key, folded, name, seq, type, data) SELECT id, 'LARGE', 'large', 2, 3, "
                      "randomblob(" + std::to_string(kValue) + ") FROM keys WHERE path = 'BIG'";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    long large = peak_kib(prefix_.path(), {"reg", "export", "HKLM\\Big", path("large.reg"), "/y"});
    // The value's own bytes are held a few times over (the database's copy,
    // the read buffer); its text, six bytes a byte in UTF-16, is not.
    EXPECT_LT(large - small, 4 * kValue / 1024) << small << " KiB for a small key";
    EXPECT_GT(std::filesystem::file_size(path("large.reg")), static_cast<uintmax_t>(6 * kValue));
}

}  // namespace
}  // namespace quarn::test
