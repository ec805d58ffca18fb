// The registry's cost: reading a number and a string setting, a durable
// write, and walking the values of a key with 1,000 of them.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench_prefix.h"
#include "ntregy.h"
#include "win32.h"

namespace {

constexpr int kShmemTotalAreaSize = 45;
constexpr int kHostData = 16;

void ReadNumberSetting(benchmark::State &state) {
    DWORD size = 1 << 20;
    ntregy_set_param(kShmemTotalAreaSize, &size, nullptr);
    for (auto _ : state) {
        DWORD value = 0;
        if (ntregy_get_param(kShmemTotalAreaSize, sizeof value, &value, nullptr) != ERROR_SUCCESS)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReadNumberSetting);

void ReadStringSetting(benchmark::State &state) {
    ntregy_set_param(kHostData, "C:\\ProgramData\\Quarn\\Zendrel", nullptr);
    for (auto _ : state) {
        char value[256];
        if (ntregy_get_param(kHostData, sizeof value, value, nullptr) != ERROR_SUCCESS)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReadStringSetting);

// Every write is one committed, synced transaction.
void DurableWrite(benchmark::State &state) {
    DWORD value = 0;
    for (auto _ : state) {
        ++value;
        if (ntregy_set_param(kShmemTotalAreaSize, &value, nullptr) != ERROR_SUCCESS) state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DurableWrite)->UseRealTime();

void EnumerateThousandValues(benchmark::State &state) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Bench\\Many", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    for (DWORD i = 0; i < 1000; ++i) {
        std::string name = "value" + std::to_string(i);
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&i), sizeof i);
    }
    for (auto _ : state) {
        DWORD count = 0;
        for (DWORD index = 0;; ++index) {
            char name[32], data[8];
            DWORD name_length = sizeof name, type = 0, size = sizeof data - 1;
            if (ntregy_enum_value(key, index, name, &name_length, &type, data, &size) != ERROR_SUCCESS) break;
            ++count;
        }
        if (count != 1000) state.SkipWithError("lost values");
    }
    RegCloseKey(key);
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(EnumerateThousandValues);

}  // namespace

int main(int argc, char **argv) {
    BenchPrefix prefix(false);
    if (!prefix.ok()) return 1;
    return run_benchmarks(argc, argv);
}
