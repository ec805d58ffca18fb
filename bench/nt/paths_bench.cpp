// Paths and files beside the host's own calls, each pair in the same program
// with their ratio printed at the end: nt_get_wide_path of a 200-character
// relative path beside making it absolute with std::filesystem;
// unix_nt_stati64 beside stat(2) of the same file; CreateFileA and
// CloseHandle with share modes beside open(2) and close(2); a listing of
// 10,000 entries with nt_readdir beside readdir(3).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bench_prefix.h"
#include "ntposix.h"
#include "nt.h"
#include "win32.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 10000;
fs::path folder;  // drive_c/bench of the prefix; the current directory

std::string relative_path() {
    std::string path;
    while (path.size() < 200) path += "component" + std::to_string(path.size()) + "\\";
    return path.substr(0, 200);
}

void Peer_WidePath(benchmark::State &state) {
    std::string path = relative_path();
    for (char &c : path)
        if (c == '\\') c = '/';
    for (auto _ : state) benchmark::DoNotOptimize(fs::absolute(path).lexically_normal());
}
BENCHMARK(Peer_WidePath);

void Ours_WidePath(benchmark::State &state) {
    std::string path = relative_path();
    WCHAR wide[1024];
    for (auto _ : state)
        if (nt_get_wide_path(path.c_str(), wide, sizeof wide) != 0) state.SkipWithError("conversion failed");
}
BENCHMARK(Ours_WidePath);

void Peer_Stat(benchmark::State &state) {
    std::string path = (folder / "file").string();
    struct stat st;
    for (auto _ : state)
        if (stat(path.c_str(), &st) != 0) state.SkipWithError("stat failed");
}
BENCHMARK(Peer_Stat);

void Ours_Stat(benchmark::State &state) {
    struct nt_stat64 st;
    for (auto _ : state)
        if (unix_nt_stati64("C:\\bench\\file", &st) != 0) state.SkipWithError("stat failed");
}
BENCHMARK(Ours_Stat);

void Peer_OpenClose(benchmark::State &state) {
    std::string path = (folder / "file").string();
    for (auto _ : state) {
        int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd == -1) state.SkipWithError("open failed");
        close(fd);
    }
}
BENCHMARK(Peer_OpenClose);

// An open that holds read and write and shares reading only, which takes
// and tests the share-mode locks.
void Ours_OpenClose(benchmark::State &state) {
    for (auto _ : state) {
        HANDLE file = CreateFileA("C:\\bench\\file", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) state.SkipWithError("CreateFileA failed");
        CloseHandle(file);
    }
}
BENCHMARK(Ours_OpenClose);

// The folder of 10,000 entries, made on first use.
void make_many() {
    static bool made = [] {
        fs::create_directories(folder / "many");
        for (int i = 0; i < kEntries; ++i) std::ofstream(folder / "many" / ("entry" + std::to_string(i)));
        return true;
    }();
    benchmark::DoNotOptimize(made);
}

void Peer_Listing(benchmark::State &state) {
    make_many();
    std::string path = (folder / "many").string();
    for (auto _ : state) {
        DIR *dir = opendir(path.c_str());
        int count = 0;
        while (readdir(dir)) ++count;
        closedir(dir);
        if (count != kEntries + 2) state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(Peer_Listing)->Unit(benchmark::kMillisecond);

void Ours_Listing(benchmark::State &state) {
    make_many();
    for (auto _ : state) {
        NT_DIR *dir = nt_opendir("C:\\bench\\many");
        int count = 0;
        while (nt_readdir(dir)) ++count;
        nt_closedir(dir);
        if (count != kEntries + 2) state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(Ours_Listing)->Unit(benchmark::kMillisecond);

// The console report, then each pair's ratio of CPU time: ours over the peer's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const auto &run : runs) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto &[name, ours] : times_) {
            if (name.rfind("Ours_", 0) != 0) continue;
            auto peer = times_.find("Peer_" + name.substr(5));
            if (peer != times_.end() && peer->second > 0)
                std::printf("ratio %-10s %.2f (ours / the host's)\n", name.substr(5).c_str(), ours / peer->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char **argv) {
    BenchPrefix prefix(false);
    if (!prefix.ok()) return 1;
    folder = fs::path(getenv("QUARN_PREFIX")) / "drive_c" / "bench";
    fs::create_directories(folder);
    std::ofstream(folder / "file") << "data";
    fs::current_path(folder);
    // A prefix untouched for a while, as an installed one is, keeps its drive
    // table; one call first makes what the library makes in it on first use.
    struct nt_stat64 st;
    if (unix_nt_stati64("C:\\bench\\file", &st) != 0) return 1;
    fs::last_write_time(getenv("QUARN_PREFIX"), fs::file_time_type::clock::now() - std::chrono::minutes(1));
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
