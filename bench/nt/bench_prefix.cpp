// The throwaway prefix of the libquarnnt benchmarks.
#include "bench_prefix.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "ntregy.h"
#include "win32.h"

namespace {
constexpr int kHostData = 16;

// An installed prefix has not changed for a while; the layer does not keep
// what it reads from a folder changed in the last two seconds, so a prefix
// made just now would measure rereading the drive table on every call.
void settle(const std::string &folder) {
    timespec an_hour_ago{};
    clock_gettime(CLOCK_REALTIME, &an_hour_ago);
    an_hour_ago.tv_sec -= 3600;
    const timespec times[2] = {an_hour_ago, an_hour_ago};
    utimensat(AT_FDCWD, folder.c_str(), times, 0);
}
}  // namespace

BenchPrefix::BenchPrefix(bool host_data) {
    char pattern[] = "/tmp/quarn-bench-XXXXXX";
    if (!mkdtemp(pattern)) return;
    path_ = pattern;
    setenv("QUARN_PREFIX", path_.c_str(), 1);
    ok_ = true;
    if (host_data) {
        std::filesystem::path directory = std::filesystem::path(path_) / "hostdata";
        std::error_code error;
        std::filesystem::create_directories(directory / "var" / "cache", error);
        ok_ = !error && ntregy_set_param(kHostData, directory.c_str(), nullptr) == ERROR_SUCCESS;
    }
    settle(path_);
}

BenchPrefix::~BenchPrefix() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
}

int run_benchmarks(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
