// The throwaway prefix of the libquarnnt benchmarks.
#include "bench_prefix.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "ntregy.h"
#include "win32.h"

namespace {
constexpr int kHostData = 16;
}

BenchPrefix::BenchPrefix(bool host_data) {
    char pattern[] = "/tmp/quarn-bench-XXXXXX";
    if (!mkdtemp(pattern)) return;
    path_ = pattern;
    setenv("QUARN_PREFIX", path_.c_str(), 1);
    ok_ = true;
    if (!host_data) return;
    std::filesystem::path directory = std::filesystem::path(path_) / "hostdata";
    std::error_code error;
    std::filesystem::create_directories(directory / "var" / "cache", error);
    ok_ = !error && ntregy_set_param(kHostData, directory.c_str(), nullptr) == ERROR_SUCCESS;
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
