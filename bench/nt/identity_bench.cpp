// The cost of identity questions beside glibc's answers to the same: the uid
// of a SID that the machine-wide table already holds (also while another
// process asks at once), the SID of a uid, and the passwd record of a local
// account.
#include <benchmark/benchmark.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench_prefix.h"
#include "side_by_side.h"
#include "nt.h"
#include "ntregy.h"
#include "ntx.h"
#include "win32.h"

namespace {

constexpr const char *kLocalAccount = "root";
constexpr DWORD kBuiltinAdministrators = 0x20220;
constexpr int64_t kBatch = 100;

// The uid of BUILTIN\Administrators, which the machine-wide table holds once
// it has been asked; beside glibc's uid look-up of the same local account that
// the passwd rows use.
void SidToUidCached(benchmark::State &state) {
    PSID sid = nullptr;
    if (ntx_uid_to_sid(kBuiltinAdministrators, &sid) != 0 || nt_sid_to_uid(sid) != kBuiltinAdministrators) {
        state.SkipWithError("no uid");
        return;
    }
    char buffer[4096];
    bench::side_by_side(
        state, [&] { benchmark::DoNotOptimize(nt_sid_to_uid(sid)); },
        [&] {
            passwd record{}, *found = nullptr;
            getpwuid_r(0, &record, buffer, sizeof buffer, &found);
            benchmark::DoNotOptimize(found);
        },
        kBatch);
    std::free(sid);
}
BENCHMARK(SidToUidCached)->UseManualTime();

// The same while another process asks for the same uid without pause.
void SidToUidCachedBesideAnotherProcess(benchmark::State &state) {
    PSID sid = nullptr;
    if (ntx_uid_to_sid(kBuiltinAdministrators, &sid) != 0 || nt_sid_to_uid(sid) != kBuiltinAdministrators) {
        state.SkipWithError("no uid");
        return;
    }
    pid_t other = fork();
    if (other == 0) {
        execl("/proc/self/exe", "identity_bench", "--sid-to-uid-forever", static_cast<char *>(nullptr));
        _exit(127);
    }
    for (auto _ : state) benchmark::DoNotOptimize(nt_sid_to_uid(sid));
    state.SetItemsProcessed(state.iterations());
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    std::free(sid);
}
BENCHMARK(SidToUidCachedBesideAnotherProcess)->UseRealTime();

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

// The passwd record of a local account, beside glibc's record of the same account.
void GetpwnamSid(benchmark::State &state) {
    char buffer[4096];
    bench::side_by_side(
        state,
        [&] {
            nt_passwd *pw = nt_getpwnam_sid(kLocalAccount);
            if (!pw) state.SkipWithError("no record");
            benchmark::DoNotOptimize(pw);
        },
        [&] {
            passwd record{}, *found = nullptr;
            if (getpwnam_r(kLocalAccount, &record, buffer, sizeof buffer, &found) != 0 || !found)
                state.SkipWithError("no glibc record");
            benchmark::DoNotOptimize(found);
        },
        10);
}
BENCHMARK(GetpwnamSid)->UseManualTime();

// Asks for one uid until it is killed.
int sid_to_uid_forever() {
    nt_init();
    PSID sid = nullptr;
    if (ntx_uid_to_sid(kBuiltinAdministrators, &sid) != 0) return 1;
    for (;;) benchmark::DoNotOptimize(nt_sid_to_uid(sid));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--sid-to-uid-forever") == 0 && getenv("QUARN_PREFIX"))
        return sid_to_uid_forever();
    BenchPrefix prefix(true);
    if (!prefix.ok()) return 1;
    nt_init();
    return run_benchmarks(argc, argv);
}
