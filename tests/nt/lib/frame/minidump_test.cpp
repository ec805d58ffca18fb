// Crash dumps: a product program that dies leaves an ELF core that gdb reads
// with the crashing function on the stack; dumps on demand leave the program
// running; the settings and missing folders turn dumps off.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>

#include "child_process.h"
#include "nt.h"
#include "ntregy.h"
#include "temp_prefix.h"
#include "win32.h"

namespace {

namespace fs = std::filesystem;
using quarn::test::read_file;
using quarn::test::run_child;

// A prefix with the host-data directory D (HostData) and its var/log and bin folders.
class DumpPrefix {
public:
    explicit DumpPrefix(bool with_log = true) {
        fs::create_directories(data() / "bin");
        if (with_log) fs::create_directories(log());
    }
    fs::path data() const { return prefix_.path() / "data"; }
    fs::path log() const { return data() / "var" / "log"; }

    quarn::test::ChildResult run(std::vector<std::string> setup, const std::vector<std::string> &action) const {
        std::vector<std::string> argv{QUARN_DUMP_HELPER, "hostdata", data().string()};
        argv.insert(argv.end(), setup.begin(), setup.end());
        argv.push_back("--");
        argv.insert(argv.end(), action.begin(), action.end());
        return run_child(argv, {{"QUARN_PREFIX", prefix_.path().string()},
                                {"QUARN_TRACE", (prefix_.path() / "trace.log").string()},
                                {"QUARN_EVENTLOG", (prefix_.path() / "events.log").string()}});
    }
    std::vector<fs::path> dumps() const {
        std::vector<fs::path> found;
        if (fs::exists(log()))
            for (const auto &entry : fs::directory_iterator(log())) found.push_back(entry.path());
        return found;
    }
    const fs::path &prefix() const { return prefix_.path(); }
    std::string events() const { return file_or_empty(prefix_.path() / "events.log"); }
    std::string trace() const { return file_or_empty(prefix_.path() / "trace.log"); }

private:
    static std::string file_or_empty(const fs::path &p) { return fs::exists(p) ? read_file(p) : std::string(); }
    quarn::test::TempPrefix prefix_;
};

// What gdb says about the dump with these commands.
std::string gdb(const fs::path &dump, const std::vector<std::string> &commands) {
    std::vector<std::string> argv{"/usr/bin/env", "gdb", "--batch", "-nx", "-ex", "set debuginfod enabled off"};
    for (const auto &c : commands) argv.insert(argv.end(), {"-ex", c});
    argv.insert(argv.end(), {QUARN_DUMP_HELPER, dump.string()});
    auto r = run_child(argv);
    return r.out + r.err;
}

// Whether the child died of `signal`.  Under AddressSanitizer its own SIGSEGV
// handler, which ours chains to, ends the program with an exit code instead.
bool died_of(const quarn::test::ChildResult &r, int signal) {
#if defined(__SANITIZE_ADDRESS__)
    if (signal == SIGSEGV) return r.signal == signal || r.exit_code > 0;
#endif
    return r.signal == signal;
}

// What a dump takes on the disk.  Untouched memory is never written, so even
// a sanitized program, which reserves terabytes of shadow, stays well below this.
constexpr uintmax_t kDiskCap = uintmax_t{256} << 20;

uintmax_t disk_usage(const fs::path &file) {
    struct stat st {};
    return stat(file.c_str(), &st) == 0 ? static_cast<uintmax_t>(st.st_blocks) * 512 : UINTMAX_MAX;
}

size_t count(const std::string &text, const std::string &word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

TEST(Minidump, AProgramThatDiesLeavesADumpWithTheCrashingFunction) {
    struct Case {
        const char *action;
        int signal;
        const char *on_stack;
    } cases[] = {{"crash", SIGSEGV, "crash_in_helper"},
                 {"abort", SIGABRT, "main"},
                 // malloc aborts holding its arena's lock; the dump must not wait for it.
                 {"heap-corruption", SIGABRT, "main"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.action);
#if defined(__SANITIZE_ADDRESS__)
        if (std::string(c.action) == "heap-corruption") continue;  // the sanitizer's allocator reports it instead
#endif
        DumpPrefix prefix;
        auto r = prefix.run({}, {c.action});
        EXPECT_TRUE(died_of(r, c.signal)) << r.err;  // the signal's own action ends it after the dump
        auto dumps = prefix.dumps();
        ASSERT_EQ(dumps.size(), 1u);
        EXPECT_TRUE(std::regex_match(dumps[0].filename().string(), std::regex(R"(dump_helper\.[0-9]+\.dmp)")))
            << dumps[0];
        EXPECT_LT(disk_usage(dumps[0]), kDiskCap);
        std::string backtrace = gdb(dumps[0], {"bt"});
        EXPECT_NE(backtrace.find(c.on_stack), std::string::npos) << backtrace;
        EXPECT_NE(backtrace.find("main"), std::string::npos) << backtrace;
        std::string events = prefix.events();
        EXPECT_NE(events.find(" error "), std::string::npos) << events;
        EXPECT_NE(events.find("nt_gendump(\""), std::string::npos) << events;
        EXPECT_NE(events.find(".dmp\"): Unhandled exception was caught!"), std::string::npos) << events;
    }
}

TEST(Minidump, EveryThreadIsInTheDump) {
    DumpPrefix prefix;
    auto r = prefix.run({}, {"threads", "3"});
    EXPECT_TRUE(died_of(r, SIGSEGV)) << r.err;
    auto dumps = prefix.dumps();
    ASSERT_EQ(dumps.size(), 1u);
    std::string threads = gdb(dumps[0], {"bt 3", "info threads", "thread apply all bt"});
    // The faulting thread is the current one, and its stack is the fault's.
    // gdb names the address too when it is not where a line starts (a sanitized build).
    EXPECT_TRUE(std::regex_search(threads, std::regex(R"(\n#0  (0x[0-9a-f]+ in )?\(anonymous namespace\)::crash_in_helper)")))
        << threads;
    EXPECT_NE(threads.find("* 1    Thread"), std::string::npos) << threads;
    EXPECT_NE(threads.find("  4    Thread"), std::string::npos) << threads;
    EXPECT_EQ(threads.find("  5    Thread"), std::string::npos) << threads;
    EXPECT_EQ(count(threads, "in (anonymous namespace)::parked_thread ()"), 3u) << threads;
}

// A thread other than the one that registered overflows its stack: the
// handler still has a stack to run on, so the dump is written.
TEST(Minidump, AStackOverflowInAnotherThreadLeavesADump) {
    DumpPrefix prefix;
    auto r = prefix.run({}, {"overflow-thread"});
    EXPECT_TRUE(died_of(r, SIGSEGV)) << r.err;
    auto dumps = prefix.dumps();
    ASSERT_EQ(dumps.size(), 1u) << r.err;
    EXPECT_LT(disk_usage(dumps[0]), kDiskCap);
    std::string threads = gdb(dumps[0], {"bt 2", "info threads"});
    EXPECT_NE(threads.find("#0  "), std::string::npos) << threads;
    EXPECT_NE(threads.find("overflow_stack"), std::string::npos) << threads;
    EXPECT_NE(threads.find("* 1    Thread"), std::string::npos) << threads;
    EXPECT_NE(threads.find("  2    Thread"), std::string::npos) << threads;
    EXPECT_NE(prefix.events().find("Unhandled exception was caught!"), std::string::npos) << prefix.events();
}

TEST(Minidump, OnDemandTheProgramGoesOnAndTheDumpShowsTheCaller) {
    DumpPrefix prefix;
    auto r = prefix.run({}, {"write", "-", "checking the tables"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "alive\n");
    auto dumps = prefix.dumps();
    ASSERT_EQ(dumps.size(), 1u);
    std::smatch m;
    std::string name = dumps[0].filename().string();
    ASSERT_TRUE(std::regex_match(name, m, std::regex(R"(dump_helper\.([0-9]+)\.([0-9]+)\.dmp)"))) << name;
    std::string trace = prefix.trace();
    EXPECT_TRUE(std::regex_search(trace, std::regex("nt_write_minidump\\([^)]*[\\\\/]dump_helper\\." + m[1].str() + "\\." +
                                                    m[2].str() + "\\.dmp\\): checking the tables")))
        << trace;
    EXPECT_NE(prefix.events().find("): checking the tables"), std::string::npos) << prefix.events();
    std::string contents = read_file(dumps[0]);
    EXPECT_NE(contents.find(std::string("checking the tables\0", 20)), std::string::npos);
    std::string backtrace = gdb(dumps[0], {"bt"});
    EXPECT_NE(backtrace.find("nt_write_minidump"), std::string::npos) << backtrace;
    EXPECT_NE(backtrace.find("main"), std::string::npos) << backtrace;
}

TEST(Minidump, AGivenPathIsWrittenAsGiven) {
    DumpPrefix prefix;
    fs::path target = prefix.data() / "here.core";
    auto r = prefix.run({}, {"write", target.string(), "asked"});
    EXPECT_EQ(r.out, "alive\n") << r.err;
    EXPECT_TRUE(fs::exists(target));
    EXPECT_TRUE(prefix.dumps().empty());
    EXPECT_NE(prefix.trace().find("nt_write_minidump(" + target.string() + "): asked"), std::string::npos)
        << prefix.trace();
}

TEST(Minidump, WithoutFullMemoryTheDumpIsSmallerAndStillShowsTheStack) {
    DumpPrefix full, normal;
    full.run({}, {"crash"});
    normal.run({"type", "0"}, {"crash"});
    ASSERT_EQ(full.dumps().size(), 1u);
    ASSERT_EQ(normal.dumps().size(), 1u);
    EXPECT_LT(fs::file_size(normal.dumps()[0]), fs::file_size(full.dumps()[0]));
    std::string backtrace = gdb(normal.dumps()[0], {"bt"});
    EXPECT_NE(backtrace.find("crash_in_helper"), std::string::npos) << backtrace;
}

TEST(Minidump, DumpsAreOffWhenDisabledOrAFolderOrTheWriterIsMissing) {
    struct Case {
        const char *name;
        bool with_log;
        std::vector<std::string> setup;
        const char *bin_dbghelp;  // contents of bin/dbghelp.dll, or null
    } cases[] = {
        {"DisableMiniDump 1", true, {"disable", "1"}, nullptr},
        {"no var\\log", false, {}, nullptr},
        {"bin\\dbghelp.dll is no library", true, {}, "not a shared object"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DumpPrefix prefix(c.with_log);
        if (c.bin_dbghelp) std::ofstream(prefix.data() / "bin" / "dbghelp.dll") << c.bin_dbghelp;
        EXPECT_EQ(prefix.run(c.setup, {"init"}).out, "0\n");
        EXPECT_TRUE(died_of(prefix.run(c.setup, {"crash"}), SIGSEGV));
        EXPECT_EQ(prefix.run(c.setup, {"write", "-", "nothing"}).out, "alive\n");
        EXPECT_TRUE(prefix.dumps().empty());
        EXPECT_EQ(prefix.events(), "");
    }
    DumpPrefix enabled;
    EXPECT_EQ(enabled.run({"disable", "0"}, {"init"}).out, "1\n");
}

// Memory a program reserved but never touched takes no room: a 32 GB
// reservation with two pages written costs the disk nothing worth counting,
// and gdb still reads what was written, and zeros around it.
TEST(Minidump, UntouchedMemoryIsNotWritten) {
    DumpPrefix prefix;
    fs::path target = prefix.data() / "reserved.core";
    auto r = prefix.run({}, {"reserve", target.string()});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.out, m, std::regex("(0x[0-9a-f]+) (0x[0-9a-f]+)\n"))) << r.out;
    EXPECT_LT(disk_usage(target), kDiskCap);
    EXPECT_LT(fs::file_size(target), uintmax_t{4} << 30);  // the 20 GB between the texts are listed, not spanned
    std::string near = m[1].str(), far = m[2].str();
    std::string seen = gdb(target, {"x/s " + near, "x/s " + far, "x/2xg " + near + "+8192"});
    EXPECT_NE(seen.find("\"written near\""), std::string::npos) << seen;
    EXPECT_NE(seen.find("\"written far out\""), std::string::npos) << seen;
    EXPECT_TRUE(std::regex_search(seen, std::regex(":\\s+0x0+\\s+0x0+\n"))) << seen;
}

// Threads that keep allocating while dumps are written: the writer takes no
// lock that they may hold, so every dump finishes and the program goes on.
TEST(Minidump, DumpsWhileOtherThreadsAllocateNeverDeadlock) {
    DumpPrefix prefix;
    fs::path target = prefix.data() / "load.core";
    auto r = run_child({"/usr/bin/env", "timeout", "120", QUARN_DUMP_HELPER, "hostdata", prefix.data().string(), "type", "0", "--",
                        "write-under-load", target.string(), "10"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "alive\n");
    EXPECT_GT(fs::file_size(target), 0u);
}

// An ordinary user's program dumps itself: the helper may trace it because
// the program allows it, and nobody needs to be root.
TEST(Minidump, AnOrdinaryUserDumpsItsOwnProgram) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    DumpPrefix prefix;
    for (const auto &entry : fs::recursive_directory_iterator(prefix.prefix()))
        ASSERT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(prefix.prefix().c_str(), 65534, 65534), 0);
    auto r = run_child({"/usr/bin/env", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                        QUARN_DUMP_HELPER, "hostdata", prefix.data().string(), "--", "write", "-", "as nobody"},
                       {{"QUARN_PREFIX", prefix.prefix().string()}});
    EXPECT_EQ(r.out, "alive\n") << r.err;
    auto dumps = prefix.dumps();
    ASSERT_EQ(dumps.size(), 1u);
    struct stat st {};
    ASSERT_EQ(stat(dumps[0].c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_GT(st.st_size, 0);
}

// A console program that registers gets the runtime's messages on standard error.
TEST(MinidumpDeathTest, AConsoleProgramThatRegistersReportsToStandardError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DumpPrefix prefix;
    EXPECT_EXIT(
        {
            ntregy_set_param(16, prefix.data().string().c_str(), nullptr);
            nt_register_minidump(1);
            std::_Exit(_set_error_mode(_REPORT_ERRMODE) * 10 + static_cast<int>(GetErrorMode()));
        },
        testing::ExitedWithCode(_OUT_TO_STDERR * 10 + static_cast<int>(SEM_NOGPFAULTERRORBOX)), "");
}

}  // namespace
