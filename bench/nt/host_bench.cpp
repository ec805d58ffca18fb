// Host facts and dumps: what a dump of a process with 100 MB of data costs,
// beside gdb's gcore of the same process, what the cached answers cost
// after the first call, beside the platform queries they would otherwise make,
// and the volume and attribute queries beside the Linux calls they stand for.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_prefix.h"
#include "nt.h"
#include "ntregy.h"
#include "side_by_side.h"
#include "win32.h"

namespace {

constexpr size_t kDataSize = 100u << 20;
constexpr int kHostData = 16;
std::string dump_folder;
std::string attribute_file;      // a file in dump_folder
std::string dos_attribute_file;  // the same on drive Z:
double dump_seconds = 0, gcore_seconds = 0;
int dumps = 0, gcores = 0;

// 100 MB of the process's own data, every page written.
std::vector<unsigned char> &data() {
    static std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> b(kDataSize);
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 31);
        return b;
    }();
    return bytes;
}

void BM_DumpOf100MBProcess(benchmark::State &state) {
    benchmark::DoNotOptimize(data().data());
    std::string file = dump_folder + "/bench.core";
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        nt_write_minidump(file.c_str(), "benchmark");
        dump_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++dumps;
    }
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    struct stat st {};
    if (stat(file.c_str(), &st) == 0) state.counters["disk_MB"] = static_cast<double>(st.st_blocks) * 512 / 1e6;
}
BENCHMARK(BM_DumpOf100MBProcess)->Iterations(3)->Unit(benchmark::kMillisecond);

// The peer: gdb's gcore attaching to this process.
void BM_GcoreOf100MBProcess(benchmark::State &state) {
    benchmark::DoNotOptimize(data().data());
    std::string command = "gcore -o " + dump_folder + "/gcore " + std::to_string(getpid()) + " >/dev/null 2>&1";
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) state.SkipWithError("gcore failed");
        gcore_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++gcores;
    }
}
BENCHMARK(BM_GcoreOf100MBProcess)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_OsInfoCached(benchmark::State &state) {
    nt_osinfo();
    for (auto _ : state) benchmark::DoNotOptimize(nt_osinfo());
}
BENCHMARK(BM_OsInfoCached);

// The peer: the version query that the first call makes.
void BM_GetVersionEx(benchmark::State &state) {
    for (auto _ : state) {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        benchmark::DoNotOptimize(GetVersionExA(&info));
    }
}
BENCHMARK(BM_GetVersionEx);

void BM_TerminalServerCached(benchmark::State &state) {
    int admin = 0;
    nt_is_terminal_server(&admin);
    for (auto _ : state) benchmark::DoNotOptimize(nt_is_terminal_server(&admin));
}
BENCHMARK(BM_TerminalServerCached);

// The peer: the suite test that the first call makes.
void BM_VerifyVersionInfo(benchmark::State &state) {
    OSVERSIONINFOEXA wanted{};
    wanted.dwOSVersionInfoSize = sizeof wanted;
    wanted.wSuiteMask = VER_SUITE_TERMINAL;
    ULONGLONG conditions = VerSetConditionMask(0, VER_SUITENAME, VER_AND);
    for (auto _ : state) benchmark::DoNotOptimize(VerifyVersionInfoA(&wanted, VER_SUITENAME, conditions));
}
BENCHMARK(BM_VerifyVersionInfo);

// A path's drive or file-system kind through the drive's volume, beside statfs(2) of the folder.
template <int (*Kind)(const char *, int *)>
void BM_KindBesideStatfs(benchmark::State &state) {
    bench::side_by_side(
        state,
        [] {
            int kind = 0;
            benchmark::DoNotOptimize(Kind(dos_attribute_file.c_str(), &kind));
        },
        [] {
            struct statfs fs {};
            benchmark::DoNotOptimize(statfs(dump_folder.c_str(), &fs));
        });
}
BENCHMARK_TEMPLATE(BM_KindBesideStatfs, nt_get_fs_type)->UseManualTime();
BENCHMARK_TEMPLATE(BM_KindBesideStatfs, nt_get_drive_type)->UseManualTime();

// Read-only (the owner's write bit) beside stat(2) of the file.
void BM_ReadOnlyBesideStat(benchmark::State &state) {
    bench::side_by_side(
        state, [] { benchmark::DoNotOptimize(nt_get_file_readonly(dos_attribute_file.c_str())); },
        [] {
            struct stat st {};
            benchmark::DoNotOptimize(stat(attribute_file.c_str(), &st));
        });
}
BENCHMARK(BM_ReadOnlyBesideStat)->UseManualTime();

// Marking a file hidden beside writing the extended attribute that keeps it.
void BM_SetHiddenBesideSetxattr(benchmark::State &state) {
    bench::side_by_side(
        state, [] { benchmark::DoNotOptimize(nt_set_file_hidden(dos_attribute_file.c_str())); },
        [] { benchmark::DoNotOptimize(setxattr(attribute_file.c_str(), "user.DOSATTRIB", "0x2", 4, 0)); });
}
BENCHMARK(BM_SetHiddenBesideSetxattr)->UseManualTime();

}  // namespace

int main(int argc, char **argv) {
    BenchPrefix prefix(false);
    char pattern[] = "/tmp/quarn-dump-bench-XXXXXX";
    if (!prefix.ok() || !mkdtemp(pattern)) return 1;
    dump_folder = pattern;
    std::filesystem::create_directories(dump_folder + "/var/log");
    std::filesystem::create_directories(dump_folder + "/bin");
    if (ntregy_set_param(kHostData, dump_folder.c_str(), nullptr) != ERROR_SUCCESS || !nt_initialize_minidump()) {
        std::fprintf(stderr, "dumps cannot be written in %s\n", dump_folder.c_str());
        return 1;
    }
    attribute_file = dump_folder + "/attributes";
    dos_attribute_file = "Z:" + attribute_file;
    std::FILE *file = std::fopen(attribute_file.c_str(), "w");
    if (!file) return 1;
    std::fclose(file);
    run_benchmarks(argc, argv);
    if (dumps && gcores)
        std::printf("a dump takes %.2f of the time gcore takes (%.0f ms against %.0f ms)\n",
                    (dump_seconds / dumps) / (gcore_seconds / gcores), 1e3 * dump_seconds / dumps,
                    1e3 * gcore_seconds / gcores);
    std::filesystem::remove_all(dump_folder);
    return 0;
}
