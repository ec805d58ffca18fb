// The registry on a machine that several users share, with real processes
// under real uids: every user's HKEY_CURRENT_USER in a folder of their own
// that nobody else can plant anything in, files and folders that fail their
// check refused and left as they are, a fresh setup that gives every user a
// hive, and the machine hive readable by everyone even without its -wal and
// -shm files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "advapi32/registry_roots.h"
#include "advapi32/registry_store.h"
#include "child_process.h"
#include "temp_prefix.h"
#include "win32.h"

namespace quarn::test {
namespace {

namespace fs = std::filesystem;

constexpr char kSystemSid[] = "S-1-5-18";

std::vector<std::string> helper(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), QUARN_REGISTRY_HELPER);
    return arguments;
}

// A prefix of its own that other users may enter, as an installed one is.
class SharedPrefix : public testing::Test {
protected:
    void SetUp() override { fs::permissions(prefix_.path(), fs::perms(0755)); }
    std::map<std::string, std::optional<std::string>> environment() const {
        return {{"QUARN_PREFIX", prefix_.path().string()}, {"QUARN_EVENTLOG", events().string()}};
    }
    fs::path events() const { return prefix_.path() / "events.log"; }
    fs::path users() const { return prefix_.path() / "registry" / "users"; }
    ChildResult as_root(const std::vector<std::string> &arguments) const {
        return run_child(helper(arguments), environment());
    }
    ChildResult as_user(unsigned uid, const std::vector<std::string> &arguments) const {
        return run_child_as(uid, helper(arguments), environment());
    }
    ChildResult setup() const { return run_child({QUARN_TOOL, "setup"}, environment()); }
    // After setup, the folder of uid 65534 once it has written a value into
    // its HKEY_CURRENT_USER; empty when a step failed.
    fs::path nobodys_written_folder() const {
        EXPECT_EQ(setup().exit_code, 0);
        EXPECT_EQ(as_user(kNobody, {"set", "HKCU\\Software\\Mine", "n", "7"}).out, "ok\n");
        return folder_of(kNobody);
    }
    // The folder of users/ that belongs to `uid`, or empty.
    fs::path folder_of(unsigned uid) const {
        for (const auto &entry : fs::directory_iterator(users())) {
            struct stat st {};
            if (stat(entry.path().c_str(), &st) == 0 && st.st_uid == uid) return entry.path();
        }
        return {};
    }
    TempPrefix prefix_;
};

TEST_F(SharedPrefix, AFreshSetupGivesEveryUserAHiveOfTheirOwn) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(setup().exit_code, 0);
    EXPECT_EQ(as_user(kNobody, {"set", "HKCU\\Software\\Mine", "n", "7"}).out, "ok\n");
    EXPECT_EQ(as_user(kNobody, {"get", "HKCU\\Software\\Mine", "n"}).out, "7\n");
    EXPECT_EQ(as_root({"get", "HKCU\\Software\\Mine", "n"}).out, "error 2\n");  // root's own hive is another

    struct stat st {};
    ASSERT_EQ(stat(users().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(st.st_uid, 0u);
    bool found = false;
    for (const auto &folder : fs::directory_iterator(users())) {
        ASSERT_EQ(lstat(folder.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u) << folder.path();
        if (st.st_uid != kNobody) continue;
        found = true;
        ASSERT_EQ(stat((folder.path() / "ntuser.db").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(st.st_uid, kNobody);
    }
    EXPECT_TRUE(found);
}

// A user that came after the last setup has no folder, and cannot make one
// where nobody else may plant it: the write fails and an event says why.
TEST_F(SharedPrefix, AUserAddedAfterSetupIsToldToRunSetup) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(setup().exit_code, 0);
    constexpr unsigned kNewcomer = 4206;  // NSS does not know it: setup made it nothing
    std::ofstream(events()).flush();
    fs::permissions(events(), fs::perms(0666));  // the newcomer's event goes where the test reads
    EXPECT_EQ(as_user(kNewcomer, {"set", "HKCU\\Software\\Mine", "n", "7"}).out, "error 2\n");
    std::string log = read_file(events());
    EXPECT_NE(log.find("No HKEY_CURRENT_USER for uid 4206: its folder \"" + users().string() + "/S-1-5-21-"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("is missing; root's \"quarn setup\" makes it"), std::string::npos) << log;
}

// An older prefix kept each hive beside the folders, as users/SID.db; setup
// moves it into its user's folder, finishes a move a crash cut short, and
// leaves alone one that is not its user's.
TEST_F(SharedPrefix, SetupMovesOlderHivesIntoTheirUsersFolders) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    fs::path folder = nobodys_written_folder();
    ASSERT_FALSE(folder.empty());
    const std::string sid = folder.filename().string();
    const fs::path old_hive = users() / (sid + ".db"), staging = users() / ("." + sid + ".moving");
    for (const char *suffix : {"", "-wal", "-shm"})
        if (fs::exists(folder / ("ntuser.db" + std::string(suffix))))
            fs::rename(folder / ("ntuser.db" + std::string(suffix)), old_hive.string() + suffix);
    fs::remove(folder);
    // A crash cut the move short: the hive's -wal (or, without one, the hive) is staged already.
    fs::create_directory(staging);
    fs::permissions(staging, fs::perms(0700));
    const std::string staged_suffix = fs::exists(old_hive.string() + "-wal") ? "-wal" : "";
    fs::rename(old_hive.string() + staged_suffix, staging / ("ntuser.db" + staged_suffix));
    // LocalSystem's hive, planted by somebody else.
    const fs::path planted = users() / (std::string(kSystemSid) + ".db");
    std::ofstream(planted) << "planted";
    ASSERT_EQ(chown(planted.c_str(), kNobody, kNobody), 0);

    for (int run = 0; run < 2; ++run) {  // a second run changes nothing
        SCOPED_TRACE(run);
        auto made = setup();
        ASSERT_EQ(made.exit_code, 0) << made.err;
        EXPECT_EQ(as_user(kNobody, {"get", "HKCU\\Software\\Mine", "n"}).out, "7\n");
        EXPECT_FALSE(fs::exists(old_hive));
        EXPECT_FALSE(fs::exists(staging));
        struct stat st {};
        ASSERT_EQ(stat((folder / "ntuser.db").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        ASSERT_EQ(stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        EXPECT_EQ(read_file(planted), "planted");
    }
    EXPECT_NE(read_file(events()).find("Left " + planted.string() + " where it is: \"" + planted.string() +
                                       "\" is owned by uid 65534, not by uid 0"),
              std::string::npos)
        << read_file(events());
}

// A staging folder of the user's own (left by a move cut short) that holds a
// link where a hive file should be: setup gives nothing through the link.
TEST_F(SharedPrefix, SetupNeverFollowsALinkInAStagedMove) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    fs::path folder = nobodys_written_folder();
    ASSERT_FALSE(folder.empty());
    const std::string sid = folder.filename().string();
    const fs::path staging = users() / ("." + sid + ".moving"), victim = prefix_.path() / "root-only";
    std::ofstream(victim) << "root's";
    fs::permissions(victim, fs::perms(0640));
    for (const auto &entry : fs::directory_iterator(folder)) fs::remove(entry.path());
    fs::create_directory(staging);
    fs::create_symlink(victim, staging / "ntuser.db-wal");
    ASSERT_EQ(lchown((staging / "ntuser.db-wal").c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(staging.c_str(), kNobody, kNobody), 0);

    auto made = setup();
    EXPECT_NE(made.exit_code, 0);
    struct stat st {};
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(read_file(victim), "root's");
}

// Writes DWORD values into the machine hive file itself, below `path`
// (folded), making the keys on the way: what an older prefix kept there.
void write_into_machine_file(const fs::path &file, const std::string &path,
                             const std::vector<std::pair<std::string, DWORD>> &values) {
    using namespace quarn::win32::registry;
    LONG status = ERROR_SUCCESS;
    auto hive = Hive::open(file, false, 0644, status);
    ASSERT_TRUE(hive) << status;
    status = hive->write([&](Transaction &t) -> LONG {
        KeyId id = kRootKey;
        std::string so_far;
        for (size_t start = 0; start <= path.size();) {
            size_t end = std::min(path.find('\\', start), path.size());
            std::string name = path.substr(start, end - start);
            so_far += (so_far.empty() ? "" : "\\") + name;
            auto row = t.find_key(so_far);
            id = row ? row->id : t.insert_key(id, name, so_far, "", 0);
            start = end + 1;
        }
        for (const auto &[name, number] : values) {
            std::string folded = name;
            for (char &c : folded) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            t.put_value(id, folded, name, REG_DWORD, reinterpret_cast<const BYTE *>(&number), sizeof number);
        }
        return ERROR_SUCCESS;
    });
    ASSERT_EQ(status, ERROR_SUCCESS);
}

// An older prefix kept the Security key in the machine hive, readable by
// everybody; setup moves it out, keeping what the security hive has already.
TEST_F(SharedPrefix, SetupMovesAnOlderSecurityKeyOutOfTheMachineHive) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(setup().exit_code, 0);
    const std::string security = "Software\\Quarn\\Zendrel\\CurrentVersion\\Security";
    ASSERT_EQ(as_root({"set", security, "RegPasswd", "2"}).out, "ok\n");  // newer than the machine hive's 1
    const fs::path machine = prefix_.path() / "registry" / "machine.db";
    const std::string mount = quarn::win32::registry::kSecurityMountPath;
    write_into_machine_file(machine, mount, {{"RegPasswd", 1}, {"OldOnly", 7}});
    write_into_machine_file(machine, mount + "\\DEEPER", {{"n", 9}});
    for (int run = 0; run < 2; ++run) {  // a second run finds nothing to move
        SCOPED_TRACE(run);
        auto made = setup();
        ASSERT_EQ(made.exit_code, 0) << made.err;
        EXPECT_EQ(as_root({"get", security, "RegPasswd"}).out, "2\n");
        EXPECT_EQ(as_root({"get", security, "OldOnly"}).out, "7\n");
        EXPECT_EQ(as_root({"get", security + "\\Deeper", "n"}).out, "9\n");
        EXPECT_EQ(as_user(kNobody, {"get", security, "OldOnly"}).out, "error 5\n");
    }
    using namespace quarn::win32::registry;
    LONG status = ERROR_SUCCESS;
    auto hive = Hive::open(machine, false, 0644, status);
    ASSERT_TRUE(hive) << status;
    hive->read([&](Transaction &t) -> LONG {
        auto row = t.find_key(mount);
        EXPECT_TRUE(!row || (!t.value_at(row->id, 0) && !t.has_subkeys(row->id)));
        return ERROR_SUCCESS;
    });
}

TEST_F(SharedPrefix, AnotherUserCanNeitherPlantNorReadAUsersHive) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(setup().exit_code, 0);
    ASSERT_EQ(as_user(kNobody, {"set", "HKCU\\Software\\Secret", "n", "42"}).out, "ok\n");
    fs::path victim = folder_of(kNobody);
    ASSERT_FALSE(victim.empty());
    // The attacker is a user of its own; everything it tries is refused by the folders' modes.
    constexpr unsigned kAttacker = 4202;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (setgroups(0, nullptr) || setresgid(kAttacker, kAttacker, kAttacker) || setresuid(kAttacker, kAttacker, kAttacker))
            _exit(10);
        int failures = 0;
        failures += ::open((victim / "ntuser.db").c_str(), O_RDONLY) != -1 || errno != EACCES;
        failures += ::open((victim / "ntuser.db-planted").c_str(), O_CREAT | O_WRONLY, 0666) != -1 || errno != EACCES;
        failures += mkdir((victim.parent_path() / "S-1-5-21-1-2-3-4").c_str(), 0777) != -1 || errno != EACCES;
        failures += ::open((victim.string() + ".db").c_str(), O_CREAT | O_WRONLY, 0666) != -1 || errno != EACCES;
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(as_user(kNobody, {"get", "HKCU\\Software\\Secret", "n"}).out, "42\n");
}

// A hive or its folder that somebody else planted, or can change, is refused
// with ERROR_ACCESS_DENIED, named in an event and left as it was.
TEST_F(SharedPrefix, PlantedOrOpenHivesAreRefusedAndLeftAlone) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    struct Case {
        const char *name;
        std::function<void(const fs::path &folder)> plant;
        bool folder_refused;
    };
    const std::string bytes = "not for you";
    auto plant_file = [&](const fs::path &file, uid_t owner, mode_t mode) {
        std::ofstream(file) << bytes;
        ASSERT_EQ(chown(file.c_str(), owner, owner), 0);
        ASSERT_EQ(chmod(file.c_str(), mode), 0);
    };
    const Case cases[] = {
        {"hive of another user", [&](const fs::path &f) { plant_file(f / "ntuser.db", kNobody, 0600); }, false},
        {"hive others may write", [&](const fs::path &f) { plant_file(f / "ntuser.db", 0, 0666); }, false},
        {"hive that is a link",
         [&](const fs::path &f) {
             plant_file(f.parent_path() / "elsewhere", 0, 0600);
             fs::create_symlink(f.parent_path() / "elsewhere", f / "ntuser.db");
         },
         false},
        {"folder of another user", [&](const fs::path &f) { ASSERT_EQ(chown(f.c_str(), kNobody, kNobody), 0); }, true},
        {"folder others may write", [&](const fs::path &f) { fs::permissions(f, fs::perms(0777)); }, true},
        {"folder that is a link",
         [&](const fs::path &f) {
             fs::remove(f);
             fs::create_directory(f.parent_path() / "other");
             fs::create_directory_symlink(f.parent_path() / "other", f);
         },
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempPrefix prefix;
        fs::permissions(prefix.path(), fs::perms(0755));
        fs::path folder = prefix.path() / "registry" / "users" / kSystemSid;
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms(0700));
        c.plant(folder);
        auto before = fs::is_symlink(folder / "ntuser.db") || c.folder_refused ? std::string() : read_file(folder / "ntuser.db");
        std::map<std::string, std::optional<std::string>> env = {{"QUARN_PREFIX", prefix.path().string()},
                                                                  {"QUARN_EVENTLOG", (prefix.path() / "ev").string()}};
        EXPECT_EQ(run_child(helper({"set", "HKCU\\Software\\Secret", "n", "1"}), env).out, "error 5\n");
        EXPECT_EQ(run_child(helper({"get", "HKCU\\Software\\Secret", "n"}), env).out, "error 5\n");
        std::string refused = c.folder_refused ? folder.string() : (folder / "ntuser.db").string();
        EXPECT_NE(read_file(prefix.path() / "ev").find("Refused \"" + refused + "\""), std::string::npos)
            << read_file(prefix.path() / "ev");
        if (!before.empty()) {
            EXPECT_EQ(read_file(folder / "ntuser.db"), before);
        }
        EXPECT_FALSE(fs::exists(folder / "ntuser.db-wal"));
    }
}

TEST_F(SharedPrefix, OnlyAdministratorsReadTheSecurityKeyOfTheCommonKey) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    const std::string common = "Software\\Quarn\\Zendrel\\CurrentVersion";
    const std::string security = common + "\\Security";
    ASSERT_EQ(as_root({"set", security, "RegPasswd", "1234"}).out, "ok\n");
    ASSERT_EQ(as_root({"set", security + "\\Deeper", "n", "3"}).out, "ok\n");
    ASSERT_EQ(as_root({"set", common, "Other", "5"}).out, "ok\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string root, nobody;
    } cases[] = {
        {{"get", security, "RegPasswd"}, "1234\n", "error 5\n"},
        {{"get", "SOFTWARE\\quarn\\ZENDREL\\currentversion\\SECURITY", "regpasswd"}, "1234\n", "error 5\n"},
        {{"get", security + "\\Deeper", "n"}, "3\n", "error 5\n"},
        {{"get", common, "Other"}, "5\n", "5\n"},
        {{"set", security, "RegPasswd", "1"}, "ok\n", "error 5\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        EXPECT_EQ(as_user(kNobody, c.arguments).out, c.nobody);
        EXPECT_EQ(as_root(c.arguments).out, c.root);
    }
    // The secret is in a file of root's alone, and not in the machine hive at all.
    fs::path registry = prefix_.path() / "registry";
    struct stat st {};
    ASSERT_EQ(stat((registry / "security.db").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (const char *file : {"machine.db", "machine.db-wal"}) {
        SCOPED_TRACE(file);
        std::string bytes = fs::exists(registry / file) ? read_file(registry / file) : "";
        EXPECT_EQ(bytes.find("RegPasswd"), std::string::npos);
        EXPECT_EQ(bytes.find("Deeper"), std::string::npos);
    }
}

// The tool writes a key and its value in one call and deletes whole trees:
// both reach the Security key's own hive, never the machine hive.
TEST_F(SharedPrefix, TheToolsOneCallWritesAndTreeDeletesKeepTheSecurityKeyApart) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    const std::string security = "Software\\Quarn\\Zendrel\\CurrentVersion\\Security";
    auto reg = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {QUARN_TOOL, "reg"});
        return run_child(arguments, environment());
    };
    ASSERT_EQ(setup().exit_code, 0);
    ASSERT_EQ(reg({"add", "HKLM\\" + security + "\\Inner", "/v", "Pin", "/t", "REG_DWORD", "/d", "77", "/f"}).exit_code,
              0);
    EXPECT_EQ(as_root({"get", security + "\\Inner", "Pin"}).out, "77\n");
    EXPECT_EQ(as_user(kNobody, {"get", security + "\\Inner", "Pin"}).out, "error 5\n");
    fs::path registry = prefix_.path() / "registry";
    for (const char *file : {"machine.db", "machine.db-wal"}) {
        SCOPED_TRACE(file);
        std::string bytes = fs::exists(registry / file) ? read_file(registry / file) : "";
        EXPECT_EQ(bytes.find("Inner"), std::string::npos);
    }
    ASSERT_EQ(reg({"delete", "HKLM\\Software\\Quarn", "/f"}).exit_code, 0);
    EXPECT_EQ(as_root({"get", security + "\\Inner", "Pin"}).out, "error 2\n");
    ASSERT_EQ(as_root({"set", security, "Fresh", "1"}).out, "ok\n");
    EXPECT_EQ(as_root({"get", security + "\\Inner", "Pin"}).out, "error 2\n");
}

TEST_F(SharedPrefix, EveryUserReadsTheMachineHiveWithoutItsWalAndIndex) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(as_root({"set", "Machine\\Wide", "n", "7"}).out, "ok\n");
    // An outside client that removes them on close, or a copied prefix.
    fs::path hive = prefix_.path() / "registry" / "machine.db";
    fs::remove(hive.string() + "-wal");
    fs::remove(hive.string() + "-shm");
    EXPECT_EQ(as_user(kNobody, {"get", "Machine\\Wide", "n"}).out, "7\n");
    EXPECT_EQ(as_user(kNobody, {"set", "Machine\\Wide", "n", "8"}).out, "error 5\n");
    // A writer that comes back is seen by the next reader.
    ASSERT_EQ(as_root({"set", "Machine\\Wide", "n", "9"}).out, "ok\n");
    EXPECT_EQ(as_user(kNobody, {"get", "Machine\\Wide", "n"}).out, "9\n");
}

// A WAL whose index is gone (removed by hand, or not copied with it) holds
// committed changes that a reader who may not make the index still sees,
// through a private copy, until a writer brings the index back.
TEST_F(SharedPrefix, EveryUserReadsTheCommittedWalOfAMachineHiveWithoutItsIndex) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(as_root({"set", "Machine\\Wide", "n", "7"}).out, "ok\n");
    fs::path file = prefix_.path() / "registry" / "machine.db";
    using namespace quarn::win32::registry;
    LONG status = ERROR_SUCCESS;
    auto writer = Hive::open(file, false, 0644, status);  // held open: its commit stays in the WAL
    ASSERT_TRUE(writer) << status;
    ASSERT_EQ(writer->write([](Transaction &t) -> LONG {
        auto key = t.find_key("MACHINE\\WIDE");
        if (!key) return ERROR_FILE_NOT_FOUND;
        DWORD eight = 8;
        t.put_value(key->id, "N", "n", REG_DWORD, reinterpret_cast<const BYTE *>(&eight), sizeof eight);
        return ERROR_SUCCESS;
    }),
              ERROR_SUCCESS);
    ASSERT_TRUE(fs::exists(file.string() + "-wal"));
    fs::remove(file.string() + "-shm");
    EXPECT_EQ(as_user(kNobody, {"get", "Machine\\Wide", "n"}).out, "8\n");
    EXPECT_FALSE(fs::exists(file.string() + "-shm"));  // the reader made nothing beside the hive
    // A writer that comes back is seen by the next read.
    ASSERT_EQ(as_root({"set", "Machine\\Wide", "n", "9"}).out, "ok\n");
    EXPECT_EQ(as_user(kNobody, {"get", "Machine\\Wide", "n"}).out, "9\n");
    for (const auto &entry : fs::directory_iterator(fs::temp_directory_path()))
        EXPECT_NE(entry.path().filename().string().rfind("quarn-hive-", 0), 0u) << entry.path();  // copies go
}

}  // namespace
}  // namespace quarn::test
