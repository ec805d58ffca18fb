// The cost of identity questions: the uid of a SID that the machine-wide
// table already holds, the SID of a uid, and the passwd record of a local
// account, with glibc's getpwnam_r of the same account beside it.
#include <benchmark/benchmark.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_prefix.h"
#include "nt.h"
#include "ntregy.h"
#include "ntx.h"
#include "win32.h"

namespace {

constexpr const char *kLocalAccount = "root";
constexpr DWORD kBuiltinAdministrators = 0x20220;

void SidToUidCached(benchmark::State &state) {
    PSID sid = nullptr;
    if (ntx_uid_to_sid(kBuiltinAdministrators, &sid) != 0 || nt_sid_to_uid(sid) != kBuiltinAdministrators) {
        state.SkipWithError("no uid");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(nt_sid_to_uid(sid));
    std::free(sid);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SidToUidCached);

void UidToSid(benchmark::State &state) {
    for (auto _ : state) {
        PSID sid = nullptr;
        if (ntx_uid_to_sid(kBuiltinAdministrators, &sid) != 0) state.SkipWithError("no SID");
        benchmark::DoNotOptimize(sid);
        std::free(sid);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(UidToSid);

void GetpwnamSid(benchmark::State &state) {
    for (auto _ : state) {
        nt_passwd *pw = nt_getpwnam_sid(kLocalAccount);
        if (!pw) state.SkipWithError("no record");
        benchmark::DoNotOptimize(pw);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(GetpwnamSid);

void GlibcGetpwnamR(benchmark::State &state) {
    char buffer[4096];
    for (auto _ : state) {
        passwd record{}, *found = nullptr;
        if (getpwnam_r(kLocalAccount, &record, buffer, sizeof buffer, &found) != 0 || !found)
            state.SkipWithError("no record");
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(GlibcGetpwnamR);

}  // namespace

int main(int argc, char **argv) {
    BenchPrefix prefix(true);
    if (!prefix.ok()) return 1;
    nt_init();
    return run_benchmarks(argc, argv);
}
