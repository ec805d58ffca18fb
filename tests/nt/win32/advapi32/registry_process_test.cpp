// The hives under real processes: writers side by side, a writer killed in
// mid-write, and hive files that are damaged or not hives at all.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "child_process.h"
#include "live_child.h"
#include "advapi32/registry_store.h"
#include "small_tmpfs.h"
#include "temp_prefix.h"
#include "win32.h"

namespace {

using quarn::test::run_child;

std::vector<std::string> helper(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), QUARN_REGISTRY_HELPER);
    return arguments;
}

std::set<std::string> value_names(const char *path) {
    std::set<std::string> names;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS);
    char name[64];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.insert(name);
    }
    RegCloseKey(key);
    return names;
}

// `writers` processes at once, each writing `values` values "wN-I" into the
// machine key `key` (in `prefix` when given); each must succeed.
void write_side_by_side(int writers, const char *key, int values, const std::filesystem::path *prefix) {
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (prefix) setenv("QUARN_PREFIX", prefix->c_str(), 1);
            auto argv = helper({"values", key, "w" + std::to_string(w) + "-", std::to_string(values)});
            std::vector<char *> raw;
            for (auto &a : argv) raw.push_back(a.data());
            raw.push_back(nullptr);
            execv(raw[0], raw.data());
            _exit(127);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

TEST(RegistryProcesses, WritersSideBySideLoseNothing) {
    constexpr int kWriters = 4, kValues = 150;
    write_side_by_side(kWriters, "Shared", kValues, nullptr);
    auto names = value_names("Shared");
    EXPECT_EQ(names.size(), static_cast<size_t>(kWriters * kValues));
    EXPECT_TRUE(names.count("w3-149"));
    // Each process reads what another wrote.
    auto answer = run_child(helper({"get", "Shared", "w0-77"}));
    EXPECT_EQ(answer.out, "77\n");
}

TEST(RegistryProcesses, TheWalStaysBoundedUnderWritersSideBySide) {
    quarn::test::TempPrefix prefix;
    std::map<std::string, std::optional<std::string>> in_prefix{{"QUARN_PREFIX", prefix.path().string()}};
    ASSERT_EQ(run_child(helper({"values", "Busy", "first", "1"}), in_prefix).exit_code, 0);
    write_side_by_side(4, "Busy", 2000, &prefix.path());
    // The WAL file keeps the largest length it ever had: about 1,024 pages
    // of 4 KiB, where without a bound four writers leave 100 MB and more.
    auto wal = prefix.path() / "registry" / "machine.db-wal";
    EXPECT_LT(std::filesystem::file_size(wal), 8u << 20);
    EXPECT_EQ(run_child(helper({"get", "Busy", "w3-1999"}), in_prefix).out, "1999\n");
}

TEST(RegistryProcesses, AnswersReadBeforeAnotherProcessWritesAreNotReusedAfter) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Fresh", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD five = 5;
    ASSERT_EQ(RegSetValueExA(key, "n0", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&five), sizeof five),
              ERROR_SUCCESS);
    auto read = [&](const char *name) {
        DWORD value = 0xdeadbeef, size = sizeof value;
        LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
        return status == ERROR_SUCCESS ? static_cast<long>(value) : -static_cast<long>(status);
    };
    auto walk = [&] {
        DWORD count = 0;
        char name[16];
        for (DWORD length = sizeof name; RegEnumValueA(key, count, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                                         ERROR_SUCCESS;
             length = sizeof name)
            ++count;
        return count;
    };
    EXPECT_EQ(read("n0"), 5);
    EXPECT_EQ(read("n1"), -2);
    EXPECT_EQ(walk(), 1u);
    HKEY later = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Later", 0, KEY_READ, &later), ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(run_child(helper({"values", "Fresh", "n", "3"})).exit_code, 0);
    ASSERT_EQ(run_child(helper({"values", "Later", "x", "1"})).exit_code, 0);
    EXPECT_EQ(read("n0"), 0);
    EXPECT_EQ(read("n1"), 1);
    EXPECT_EQ(walk(), 3u);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Later", 0, KEY_READ, &later), ERROR_SUCCESS);
    RegCloseKey(later);
    RegCloseKey(key);
}

TEST(RegistryProcesses, AWriterKilledInMidWriteLeavesTheHiveWhole) {
    for (int round = 0; round < 3; ++round) {
        std::string path = "Chains" + std::to_string(round);
        quarn::test::LiveChild writer(helper({"chains", path}));
        ASSERT_EQ(writer.read_line(), "ready");
        usleep(30000 + round * 20000);
        writer.kill9();

        // Every chain that was begun is there whole: one creation is one transaction.
        HKEY top = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &top), ERROR_SUCCESS);
        DWORD chains = 0;
        char name[32];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            if (RegEnumKeyExA(top, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            std::string deepest = std::string(name) + "\\l1\\l2\\l3\\l4\\l5\\l6\\l7\\l8\\l9";
            HKEY leaf = nullptr;
            EXPECT_EQ(RegOpenKeyExA(top, deepest.c_str(), 0, KEY_READ, &leaf), ERROR_SUCCESS) << name;
            RegCloseKey(leaf);
            ++chains;
        }
        RegCloseKey(top);
        EXPECT_GT(chains, 0u);
    }
    sqlite3 *db = nullptr;
    auto file = quarn::test::process_prefix().path() / "registry" / "machine.db";
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);
}

// Runs the helper as the unprivileged user `nobody`.
quarn::test::ChildResult as_nobody(const std::vector<std::string> &arguments) {
    int out[2];
    if (pipe(out) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(126);
        auto argv = helper(arguments);
        std::vector<char *> raw;
        for (auto &a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    close(out[1]);
    quarn::test::ChildResult result;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) result.out.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(RegistryProcesses, EveryUserReadsTheMachineHiveAndOnlyItsOwnerWritesIt) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
    std::filesystem::permissions(quarn::test::process_prefix().path(), std::filesystem::perms(0755));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Machine\\Wide", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD seven = 7;
    ASSERT_EQ(RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&seven), sizeof seven),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(as_nobody({"get", "Machine\\Wide", "n"}).out, "7\n");
    EXPECT_EQ(as_nobody({"set", "Machine\\Wide", "n", "8"}).out, "error 5\n");
    EXPECT_EQ(as_nobody({"set", "Machine\\Other", "n", "8"}).out, "error 5\n");
    DWORD value = 0, size = sizeof value;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Machine\\Wide", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "n", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    RegCloseKey(key);
}

// A fresh prefix whose machine hive file holds `bytes`.
class DamagedHive : public testing::Test {
protected:
    std::filesystem::path hive_file() const { return prefix_.path() / "registry" / "machine.db"; }
    void write_hive(const std::string &bytes) const {
        std::filesystem::create_directories(hive_file().parent_path());
        std::ofstream(hive_file(), std::ios::binary) << bytes;
    }
    quarn::test::ChildResult get_in_prefix() const {
        return run_child(helper({"get", "Any", "thing"}), {{"QUARN_PREFIX", prefix_.path().string()}});
    }
    quarn::test::TempPrefix prefix_;
};

TEST_F(DamagedHive, AFileThatIsNoDatabaseFailsAsABadDatabaseAndStaysAsItWas) {
    std::string garbage(8192, 'x');
    write_hive(garbage);
    auto answer = get_in_prefix();
    EXPECT_EQ(answer.out, "error 1009\n");  // ERROR_BADDB
    EXPECT_EQ(quarn::test::read_file(hive_file()), garbage);
}

TEST_F(DamagedHive, AnotherProgramsDatabaseIsNotTakenForAHive) {
    sqlite3 *db = nullptr;
    std::filesystem::create_directories(hive_file().parent_path());
    ASSERT_EQ(sqlite3_open(hive_file().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE other(x); INSERT INTO other VALUES (1)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    std::string before = quarn::test::read_file(hive_file());
    EXPECT_EQ(get_in_prefix().out, "error 1009\n");
    EXPECT_EQ(run_child(helper({"set", "Any", "thing", "1"}), {{"QUARN_PREFIX", prefix_.path().string()}}).out,
              "error 1009\n");
    // Never changed: still in its own journal mode, and no WAL files beside it.
    EXPECT_EQ(quarn::test::read_file(hive_file()), before);
    EXPECT_FALSE(std::filesystem::exists(hive_file().string() + "-wal"));
    EXPECT_FALSE(std::filesystem::exists(hive_file().string() + "-shm"));
}

TEST_F(DamagedHive, DamagedPagesAreReportedNotCrashedOn) {
    {
        LONG status = 0;
        auto hive = quarn::win32::registry::Hive::open(hive_file(), false, 0644, status);
        EXPECT_EQ(hive, nullptr);
        EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
    }
    // Fill a hive from a child, then overwrite everything after the header page.
    auto fill = run_child(helper({"values", "Many", "v", "400"}), {{"QUARN_PREFIX", prefix_.path().string()}});
    ASSERT_EQ(fill.exit_code, 0);
    std::filesystem::remove(hive_file().string() + "-wal");
    std::filesystem::remove(hive_file().string() + "-shm");
    std::string bytes = quarn::test::read_file(hive_file());
    ASSERT_GT(bytes.size(), 4096u);
    for (size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    write_hive(bytes);
    auto answer = run_child(helper({"get", "Many", "v10"}), {{"QUARN_PREFIX", prefix_.path().string()}});
    EXPECT_EQ(answer.signal, 0);
    EXPECT_NE(answer.out, "10\n");
    EXPECT_TRUE(answer.out == "error 1009\n" || answer.out == "error 2\n") << answer.out;
}

TEST(RegistryDisk, AWriteOnAFullDiskFailsAndLosesNothing) {
    quarn::test::TempPrefix prefix;
    quarn::test::SmallTmpfs disk(prefix.path() / "registry", 1 << 20);
    if (!disk.mounted()) GTEST_SKIP() << disk.refusal();
    std::map<std::string, std::optional<std::string>> in_prefix{{"QUARN_PREFIX", prefix.path().string()}};
    ASSERT_EQ(run_child(helper({"values", "Kept", "v", "50"}), in_prefix).exit_code, 0);
    disk.fill();
    // More than the WAL already holds: it must grow, and cannot.
    auto full = run_child(helper({"blob", "Kept", "large", "600000"}), in_prefix);
    EXPECT_EQ(full.out, "error 112\n");  // ERROR_DISK_FULL
    EXPECT_EQ(run_child(helper({"get", "Kept", "v49"}), in_prefix).out, "49\n");
    EXPECT_EQ(run_child(helper({"get", "Kept", "large"}), in_prefix).out, "error 2\n");
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2((prefix.path() / "registry" / "machine.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt *check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);
}

}  // namespace
