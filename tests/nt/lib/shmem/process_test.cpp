// Areas and tables across real processes: entries seen by every process, a
// process killed inside a change or while holding the area mutex, the
// mutex time-out, a simulated machine restart, damaged and truncated files,
// the read-only debugging copy, and another user's view of the private area.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "area_test_support.h"
#include "child_process.h"
#include "identity/identity_caches.h"
#include "live_child.h"
#include "nt.h"
#include "ntdll/object_namespace.h"
#include "ntregy.h"
#include "shmem/phash_table.h"
#include "shmem/shmem_area.h"
#include "small_tmpfs.h"
#include "temp_prefix.h"
#include "win32.h"

namespace quarn::test {
namespace {

class ShmemProcesses : public testing::Test {
protected:
    void SetUp() override { use_host_data(); }

    static ChildResult helper(const std::vector<std::string> &arguments,
                              const std::map<std::string, std::optional<std::string>> &environment = {}) {
        return run_child(shmem_helper(arguments), environment);
    }
    static std::string area_file_bytes() { return read_file(global_area_file()); }
    // An area file with one sub-area, written back by a process that has ended.
    static void make_area_with_one_subarea() {
        auto made = helper({"subarea", "1", "1", "64"});
        ASSERT_EQ(made.out, "1 64\n") << made.err;
    }
};

TEST_F(ShmemProcesses, TwoProcessesSeeEachOthersEntries) {
    ASSERT_EQ(helper({"enter", "7", "1007"}).exit_code, 0);
    EXPECT_EQ(helper({"lookup", "7"}).out, "1007\n");
    EXPECT_EQ(helper({"lookup", "8"}).out, "miss\n");
    // A third process, this one, holding the area while the others come and go.
    nt_init();
    ASSERT_NE(nt_sid_uid_cache, nullptr);
    BYTE key[kSidSize] = {1, 2, 0, 0, 0, 0, 0, 5};
    DWORD subs[2] = {21, 8};
    std::memcpy(key + 8, subs, sizeof subs);
    DWORD uid = 2008;
    ASSERT_EQ(phash_enter(nt_sid_uid_cache, key, &uid, sizeof uid), 1);
    EXPECT_EQ(helper({"lookup", "8"}).out, "2008\n");
    subs[1] = 7;
    std::memcpy(key + 8, subs, sizeof subs);
    uid = 0;
    unsigned size = sizeof uid;
    EXPECT_EQ(phash_lookup(nt_sid_uid_cache, key, &uid, &size), 1);
    EXPECT_EQ(uid, 1007u);
}

TEST_F(ShmemProcesses, ProcessKilledInsideAChangeLeavesAnEmptyTable) {
    for (int i = 1; i <= 5; ++i) ASSERT_EQ(helper({"enter", std::to_string(i), "500"}).exit_code, 0);
    ASSERT_EQ(helper({"lookup", "3"}).out, "500\n");
    {
        LiveChild dying(shmem_helper({"die-mid-change"}));
        ASSERT_EQ(dying.read_line(), "mid-change");
        dying.kill9();
    }
    EXPECT_EQ(helper({"lookup", "3"}).out, "miss\n");
    nt_init();
    ASSERT_NE(nt_sid_uid_cache, nullptr);
    const phash_header *h = nt_sid_uid_cache->header;
    EXPECT_EQ(h->consistent, 1);
    EXPECT_EQ(h->enters, 0u);
    EXPECT_EQ(h->replaces, 0u);
    EXPECT_EQ(h->deletes, 0u);
    EXPECT_EQ(h->lookups, 1u);  // the look-up that found it emptied
    EXPECT_EQ(h->hits, 0u);
    EXPECT_EQ(h->free_head, 0);
    ASSERT_EQ(helper({"enter", "3", "600"}).exit_code, 0);
    EXPECT_EQ(helper({"lookup", "3"}).out, "600\n");
}

TEST_F(ShmemProcesses, DeadMutexOwnerDoesNotBlockTheNextProcess) {
    LiveChild holder(shmem_helper({"hold-area-mutex"}));
    ASSERT_EQ(holder.read_line(), "held");
    holder.kill9();
    auto locked = helper({"lock-area", "5000"});
    EXPECT_EQ(locked.out, "locked\n") << locked.err;
    EXPECT_EQ(locked.err, "");
    EXPECT_EQ(helper({"enter", "1", "1"}).exit_code, 0);
}

TEST_F(ShmemProcesses, HeldMutexTimesOutWithTheMessage) {
    const std::string message =
        "Internal error: shmem_win32_lock_area_mutex(Global\\ZNshmemV3_mutex) timed out waiting for mutex.\n"
        "Reboot if this problem persists.\n";
    shmem_area *area = nullptr;
    ASSERT_EQ(shmem_create_area(0, 1, &area), 1);
    LiveChild holder(shmem_helper({"hold-area-mutex"}));
    ASSERT_EQ(holder.read_line(), "held");
    // An attached process: its lock fails after the (shortened) wait.
    shmem_lock_wait_ms = 200;
    testing::internal::CaptureStderr();
    EXPECT_EQ(shmem_lock_area_mutex(area), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
    // A process still attaching waits for the same lock, and gives up the same way.
    auto waited = helper({"lock-area", "200"});
    EXPECT_EQ(waited.out, "no-area\n");
    EXPECT_EQ(waited.err, message);
    holder.kill9();
    EXPECT_EQ(shmem_lock_area_mutex(area), 1);
    EXPECT_EQ(shmem_unlock_area_mutex(area), 1);
}

TEST_F(ShmemProcesses, ContentSurvivesProcessesButNotAMachineRestart) {
    make_area_with_one_subarea();
    EXPECT_EQ(helper({"area-count", "1"}).out, "1 0\n");
    // Last written before the machine started: the first opener starts afresh.
    int64_t before_start = machine_start_time() - 60;
    patch_file(global_area_file(), 8, &before_start, sizeof before_start);
    EXPECT_EQ(helper({"area-count", "1"}).out, "0 0\n");
    std::string bytes = area_file_bytes();
    EXPECT_GT(field_at<int64_t>(bytes, 8), machine_start_time());
    EXPECT_EQ(field_at<int32_t>(bytes, 20), 0);
    EXPECT_EQ(bytes.find_first_not_of('\0', 616), std::string::npos);
}

TEST_F(ShmemProcesses, StaleFileIsNotReadWhileTheSectionIsLive) {
    make_area_with_one_subarea();
    LiveChild keeper(shmem_helper({"hold-area", "1"}));
    ASSERT_FALSE(keeper.read_line().empty());
    keeper.read_line();
    ASSERT_EQ(keeper.read_line(), "ready");
    int64_t before_start = machine_start_time() - 60;
    patch_file(global_area_file(), 8, &before_start, sizeof before_start);
    EXPECT_EQ(helper({"area-count", "1"}).out, "1 0\n");
}

TEST_F(ShmemProcesses, DamagedOrTruncatedFilesAreReportedAndLeftAlone) {
    struct Row {
        const char *what;
        void (*damage)(const std::filesystem::path &);
    } rows[] = {
        {"truncated", [](const std::filesystem::path &f) { std::filesystem::resize_file(f, 100000); }},
        {"shorter than a header", [](const std::filesystem::path &f) { std::filesystem::resize_file(f, 300); }},
        {"head magic", [](const std::filesystem::path &f) { patch_file(f, 0, "XXsh", 4); }},
        {"tail magic", [](const std::filesystem::path &f) { patch_file(f, 608, "mem3", 4); }},
        {"version", [](const std::filesystem::path &f) { int32_t v = 2; patch_file(f, 4, &v, 4); }},
        {"count", [](const std::filesystem::path &f) { int32_t v = 30; patch_file(f, 20, &v, 4); }},
        {"used", [](const std::filesystem::path &f) { uint32_t v = 0x7FFFFFFF; patch_file(f, 604, &v, 4); }},
        {"entry outside", [](const std::filesystem::path &f) { uint32_t v = 0x10000000; patch_file(f, 40, &v, 4); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove(global_area_file());
        make_area_with_one_subarea();
        row.damage(global_area_file());
        std::string before = area_file_bytes();
        auto opened = helper({"area-count", "1"});
        EXPECT_EQ(opened.out, "no-area\n");
        EXPECT_EQ(opened.err,
                  "Internal error: Data integrity check failed on \"" +
                      (global_area_file().parent_path().parent_path().parent_path().string() +
                       "\\var\\cache\\ZNshmemV3") +
                      "\".\n");
        EXPECT_EQ(area_file_bytes(), before);
    }
}

TEST_F(ShmemProcesses, AnAreaOfAnotherLayoutIsReinitialisedByItsFirstOpener) {
    struct Row {
        const char *what;
        DWORD made_with, opened_with;  // ShmemTotalAreaSize, 0 for none
        void (*change)(const std::filesystem::path &);
    } rows[] = {
        {"a smaller setting", 0x400000, 0, nullptr},
        {"a larger setting", 0, 0x400000, nullptr},
        {"another maximum", 0, 0, [](const std::filesystem::path &f) { int32_t v = 25; patch_file(f, 16, &v, 4); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove(global_area_file());
        if (row.made_with) set_area_capacity(row.made_with);
        make_area_with_one_subarea();
        ntregy_del_param(45, nullptr);
        if (row.opened_with) set_area_capacity(row.opened_with);
        if (row.change) row.change(global_area_file());
        auto opened = helper({"area-count", "1"});
        EXPECT_EQ(opened.out, "0 0\n") << opened.err;
        EXPECT_EQ(opened.err, "");
        std::string bytes = area_file_bytes();
        EXPECT_EQ(field_at<int32_t>(bytes, 16), 24);
        EXPECT_EQ(field_at<uint32_t>(bytes, 600), (row.opened_with ? row.opened_with : 0x300000u) + 616);
        EXPECT_GE(bytes.size(), field_at<uint32_t>(bytes, 600));
        // What lies past a smaller area in a longer file is never read.
        EXPECT_EQ(helper({"subarea", "1", "1", "64"}).out, "1 64\n");
        EXPECT_EQ(helper({"area-count", "1"}).out, "1 0\n");
        ntregy_del_param(45, nullptr);
    }
}

TEST_F(ShmemProcesses, ALiveAreaOfAnotherSizeIsRefused) {
    LiveChild keeper(shmem_helper({"hold-area", "1"}));
    ASSERT_FALSE(keeper.read_line().empty());
    keeper.read_line();
    ASSERT_EQ(keeper.read_line(), "ready");
    set_area_capacity(0x400000);
    auto refused = helper({"area-count", "1"});
    ntregy_del_param(45, nullptr);
    EXPECT_EQ(refused.out, "no-area\n");
    EXPECT_NE(refused.err.find("Data integrity check failed"), std::string::npos);
}

TEST_F(ShmemProcesses, AFullDiskFailsACreationAndKeepsAnAreaThatIsThere) {
    // Room for one area (3 MiB and its header) and little more.
    SmallTmpfs disk(global_area_file().parent_path(), 4 << 20);
    if (!disk.mounted()) GTEST_SKIP() << disk.refusal();
    make_area_with_one_subarea();
    disk.fill();
    auto kept = helper({"area-count", "1"});
    EXPECT_EQ(kept.out, "1 0\n") << kept.err;
    // A new area has no room: the opener fails, it is not killed by a fault.
    std::filesystem::remove(global_area_file());
    disk.fill();
    auto created = helper({"area-count", "1"});
    EXPECT_EQ(created.signal, 0);
    EXPECT_EQ(created.out, "no-area\n");
}

TEST_F(ShmemProcesses, DebuggingCopyIsReadOnly) {
    ASSERT_EQ(helper({"enter", "4", "44"}).exit_code, 0);
    make_area_with_one_subarea();
    auto copy = process_prefix().path() / "copy-of-area";
    std::filesystem::copy_file(global_area_file(), copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_read);
    std::string before = read_file(copy);
    std::map<std::string, std::optional<std::string>> debug{{"QUARN_DEBUG_SHMEM_FILE", copy.string()}};
    auto count = helper({"area-count", "0"}, debug);
    // The tables of nt_init (LocalSystem keeps all of them here) and the test's sub-area.
    const std::string tables = geteuid() == 0 ? "4" : "3";
    EXPECT_EQ(count.out, tables + " 1\n");
    EXPECT_EQ(count.err, "Debug Shmem File: " + copy.string() + "\n\n");
    EXPECT_EQ(helper({"subarea", "1", "1", "64"}, debug).out, "1 64\n");
    EXPECT_EQ(helper({"subarea", "1", "2", "64"}, debug).out, "0 0\n");
    EXPECT_EQ(helper({"lookup", "4"}, debug).out, "44\n");
    EXPECT_EQ(helper({"enter-refused", "5"}, debug).out, "table 0\n");
    EXPECT_EQ(read_file(copy), before);
    // An empty value is no value.
    EXPECT_EQ(helper({"area-count", "1"}, {{"QUARN_DEBUG_SHMEM_FILE", ""}}).out, tables + " 0\n");
    // A copy that fails the check is reported.
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    patch_file(copy, 0, "ZZZZ", 4);
    auto bad = helper({"area-count", "1"}, debug);
    EXPECT_EQ(bad.out, "no-area\n");
    EXPECT_EQ(bad.err, "Debug Shmem File: " + copy.string() + "\n\nInternal error: Data integrity check failed on \"" +
                           copy.string() + "\".\n");
}

// Other users enter this test's machine; setup gives each a cache folder of
// their own.  Setup reads HostData as a Windows path: the same folder on Z:.
void open_machine_to_other_users() {
    namespace fs = std::filesystem;
    fs::permissions(process_prefix().path(), fs::perms(0755));
    std::string host_data = "Z:" + (process_prefix().path() / "hostdata").string();
    for (char &c : host_data) c = c == '/' ? '\\' : c;
    ASSERT_EQ(ntregy_set_param(16, host_data.c_str(), nullptr), ERROR_SUCCESS);
    auto made = run_child({QUARN_TOOL, "setup"});
    ASSERT_EQ(made.exit_code, 0) << made.err;
}

TEST_F(ShmemProcesses, EveryUserGetsAPrivateAreaOfTheirOwnThatOthersCannotOpen) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    open_machine_to_other_users();
    const std::string nobody = std::to_string(kNobody);
    LiveChild owner(shmem_helper({"as-uid", nobody, "hold-area", "0"}));
    std::string file = owner.read_line(), mutex = owner.read_line();
    ASSERT_EQ(owner.read_line(), "ready") << file;
    auto sid = file.substr(file.rfind("ZNshmemV3.") + 10);
    EXPECT_NE(file.find("\\var\\cache\\" + sid + "\\ZNshmemV3." + sid), std::string::npos) << file;
    EXPECT_NE(mutex.find("ZNshmemV3_mutex." + sid), std::string::npos) << mutex;
    struct stat st {};
    std::string unix_file = file.substr(2);  // Z:\ is /
    for (char &c : unix_file) c = c == '\\' ? '/' : c;
    ASSERT_EQ(stat(unix_file.c_str(), &st), 0) << unix_file;
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(std::filesystem::path(unix_file).parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(helper({"as-uid", "4102", "open-file", file}).out, std::to_string(ERROR_ACCESS_DENIED) + "\n");
    EXPECT_EQ(helper({"as-uid", "4102", "open-mutex", mutex}).out, std::to_string(ERROR_ACCESS_DENIED) + "\n");
    // Its owner may open it too: the area's openers share it.
    EXPECT_EQ(helper({"as-uid", nobody, "open-file", file}).out, "0\n");
    EXPECT_EQ(helper({"as-uid", nobody, "area-count", "0"}).out, "0 0\n");
}

// The product group of the test's machine: a group NSS knows, which no user
// of the tests belongs to but the children given it.  Set before setup.
gid_t make_product_group() {
    const group *found = getgrnam("src");
    if (!found) return static_cast<gid_t>(-1);
    EXPECT_EQ(ntregy_set_param(13, "src", nullptr), ERROR_SUCCESS);
    return found->gr_gid;
}

TEST_F(ShmemProcesses, MembersOfTheProductGroupWriteTheGlobalTablesAndOthersDoNot) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    gid_t group = make_product_group();
    if (group == static_cast<gid_t>(-1)) GTEST_SKIP() << "no group \"src\" on this machine";
    open_machine_to_other_users();
    struct stat st {};
    ASSERT_EQ(stat(global_area_file().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
    auto member = [&](unsigned uid, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"as-member", std::to_string(uid), std::to_string(group)});
        return helper(arguments);
    };
    // A member enters a value that root then reads, with nobody else attached.
    auto entered = member(4104, {"enter", "7", "700"});
    ASSERT_EQ(entered.exit_code, 0) << entered.err;
    EXPECT_EQ(helper({"lookup", "7"}).out, "700\n");
    // While one member holds the area, its objects are theirs and the group's:
    // another member trusts and changes them, root reads the change, and a
    // user outside the group reads the file and changes nothing.
    LiveChild holder(shmem_helper({"as-member", "4104", std::to_string(group), "hold-area", "1"}));
    holder.read_line();
    std::string mutex = holder.read_line();
    ASSERT_EQ(holder.read_line(), "ready");
    std::string mutex_file = win32::namespace_path(win32::ObjectKind::mutex, mutex);
    ASSERT_EQ(stat(mutex_file.c_str(), &st), 0) << mutex_file;
    EXPECT_EQ(st.st_uid, 4104u);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
    entered = member(4106, {"enter", "8", "800"});
    ASSERT_EQ(entered.exit_code, 0) << entered.err;
    EXPECT_EQ(helper({"lookup", "8"}).out, "800\n");
    EXPECT_EQ(helper({"as-uid", "4102", "lookup", "8"}).out, "800\n");
    EXPECT_EQ(helper({"as-uid", "4102", "enter", "9", "900"}).exit_code, 1);
    EXPECT_EQ(helper({"as-uid", "4102", "open-mutex", mutex}).out, std::to_string(ERROR_ACCESS_DENIED) + "\n");
    EXPECT_EQ(helper({"lookup", "9"}).out, "miss\n");
}

TEST_F(ShmemProcesses, AnotherUserReadsTheGlobalTablesButCannotChangeOrFlushThem) {
    if (auto why = other_users_unavailable(); !why.empty()) GTEST_SKIP() << why;
    open_machine_to_other_users();
    ASSERT_EQ(helper({"enter", "7", "300"}).exit_code, 0);
    // Without a writer holding it, a reader reads the file a writer left.
    EXPECT_EQ(helper({"as-uid", "4102", "lookup", "7"}).out, "300\n");
    LiveChild writer(shmem_helper({"hold-area", "1"}));
    writer.read_line();
    writer.read_line();
    ASSERT_EQ(writer.read_line(), "ready");
    std::string tables = helper({"area-count", "1"}).out;  // "<sub-areas> 0": LocalSystem writes
    ASSERT_EQ(tables.substr(tables.find(' ')), " 0\n");
    tables.resize(tables.find(' '));
    const std::vector<std::pair<std::vector<std::string>, std::string>> attempts = {
        {{"lookup", "7"}, "300\n"},
        {{"enter-refused", "8"}, "table 0\n"},
        {{"flush", "1"}, "1\n"},  // as on a read-only copy: nothing is flushed
        {{"area-count", "1"}, tables + " 1\n"},
        {{"subarea", "1", "3", "16"}, "0 0\n"},
        {{"open-file", global_area_file().string()}, std::to_string(ERROR_ACCESS_DENIED) + "\n"},
        {{"open-mutex", "Global\\ZNshmemV3_mutex"}, std::to_string(ERROR_ACCESS_DENIED) + "\n"},
    };
    for (const auto &[arguments, expected] : attempts) {
        SCOPED_TRACE(arguments[0]);
        std::vector<std::string> as_other = {"as-uid", "4102"};
        as_other.insert(as_other.end(), arguments.begin(), arguments.end());
        EXPECT_EQ(helper(as_other).out, expected);
    }
    EXPECT_EQ(helper({"as-uid", "4102", "enter", "7", "0"}).exit_code, 1);
    // The tool does not report such a flush as done.
    auto flush = run_child({"/usr/bin/setpriv", "--reuid=4102", "--regid=4102", "--clear-groups", QUARN_TOOL, "cache", "flush",
                            "--global"});
    EXPECT_EQ(flush.exit_code, 1) << flush.err;
    EXPECT_NE(flush.err.find("read-only for this user"), std::string::npos) << flush.err;
    EXPECT_EQ(helper({"lookup", "7"}).out, "300\n");
    EXPECT_EQ(helper({"lookup", "8"}).out, "miss\n");
    // Its readers never take the mutex, so none of them can stall the writers.
    LiveChild reader(shmem_helper({"as-uid", "4102", "hold-area-mutex"}));
    ASSERT_EQ(reader.read_line(), "held");
    EXPECT_EQ(helper({"lock-area", "100"}).out, "locked\n");
    struct stat st {};
    ASSERT_EQ(stat(global_area_file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

}  // namespace
}  // namespace quarn::test
