// The identity caches' cost: "Sid->Uid" look-up hits from one process and
// from two at once, a replacing enter, and nt_init in a fresh process that
// opens both areas and the four tables, with the costs of the registry's and
// NSS's first use told apart.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "identity/identity_caches.h"
#include "identity/product_group.h"
#include "nt.h"
#include "bench_prefix.h"
#include "child_run.h"
#include "ntregy.h"
#include "phash.h"
#include "win32.h"

namespace {

constexpr int kShmemTotalAreaSize = 45;
constexpr unsigned kKeys = 64;

// S-1-5-21-1000-N as a 68-byte key.
void sid_key(unsigned n, BYTE (&key)[kSidSize]) {
    std::memset(key, 0, sizeof key);
    key[0] = 1;
    key[1] = 3;
    key[7] = 5;
    DWORD sub[3] = {21, 1000, n};
    std::memcpy(key + 8, sub, sizeof sub);
}

bool fill_sid_uid() {
    nt_init();
    if (!nt_sid_uid_cache) return false;
    for (unsigned n = 0; n < kKeys; ++n) {
        BYTE key[kSidSize];
        sid_key(n, key);
        DWORD uid = 0x30000 | n;
        if (!phash_enter(nt_sid_uid_cache, key, &uid, sizeof uid)) return false;
    }
    return true;
}

void look_up_all(benchmark::State &state) {
    BYTE keys[kKeys][kSidSize];
    for (unsigned n = 0; n < kKeys; ++n) sid_key(n, keys[n]);
    unsigned n = 0;
    for (auto _ : state) {
        DWORD uid = 0;
        unsigned size = sizeof uid;
        if (!phash_lookup(nt_sid_uid_cache, keys[n++ % kKeys], &uid, &size)) state.SkipWithError("miss");
        benchmark::DoNotOptimize(uid);
    }
    state.SetItemsProcessed(state.iterations());
}

void LookupHit(benchmark::State &state) {
    if (!fill_sid_uid()) return state.SkipWithError("no Sid->Uid table");
    look_up_all(state);
}
BENCHMARK(LookupHit);

// The same while another process looks up in the same table without pause.
void LookupHitBesideAnotherProcess(benchmark::State &state) {
    if (!fill_sid_uid()) return state.SkipWithError("no Sid->Uid table");
    pid_t other = fork();
    if (other == 0) {
        execl("/proc/self/exe", "shmem_bench", "--look-up-forever", static_cast<char *>(nullptr));
        _exit(127);
    }
    look_up_all(state);
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
}
BENCHMARK(LookupHitBesideAnotherProcess)->UseRealTime();

void EnterReplacing(benchmark::State &state) {
    if (!fill_sid_uid()) return state.SkipWithError("no Sid->Uid table");
    BYTE key[kSidSize];
    sid_key(7, key);
    DWORD uid = 0x30007;
    for (auto _ : state) {
        if (!phash_enter(nt_sid_uid_cache, key, &uid, sizeof uid)) state.SkipWithError("enter failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(EnterReplacing);

// nt_init timed inside a new process each time; the files already exist.
// The steps before nt_init that the child takes untimed, by range: 0 none;
// 1 a setting read and its user SID, so that the machine and the registry
// are open; 2 also the product group's SID, whose first look-up is the
// process's first NSS call.  The differences are the pieces' costs, and
// range 2 leaves nt_init's own work.
constexpr const char *kInitRoles[] = {"--time-init", "--time-init-warm", "--time-init-own"};

void InitInFreshProcess(benchmark::State &state) {
    if (!fill_sid_uid()) return state.SkipWithError("no Sid->Uid table");
    const char *role = kInitRoles[state.range(0)];
    double cpu_total = 0;
    for (auto _ : state) {
        std::string text = run_self_in_role("shmem_bench", role);
        double seconds = -1, cpu_seconds = 0;
        if (std::sscanf(text.c_str(), "%lf %lf", &seconds, &cpu_seconds) != 2 || seconds < 0)
            return state.SkipWithError("nt_init failed in the child");
        state.SetIterationTime(seconds);
        cpu_total += cpu_seconds;
    }
    // What nt_init itself spent on the processor, apart from waiting for it.
    state.counters["cpu_us"] = cpu_total * 1e6 / static_cast<double>(state.iterations());
}
BENCHMARK(InitInFreshProcess)->DenseRange(0, 2)->UseManualTime()->Iterations(200);

int child_main(const std::string &role) {
    if (role == "--look-up-forever") {
        nt_init();
        BYTE key[kSidSize];
        sid_key(3, key);
        for (;;) {
            DWORD uid = 0;
            unsigned size = sizeof uid;
            phash_lookup(nt_sid_uid_cache, key, &uid, &size);
        }
    }
    if (role != kInitRoles[0]) {
        DWORD capacity = 0;
        PSID sid = nullptr;
        ntregy_get_param(kShmemTotalAreaSize, sizeof capacity, &capacity, nullptr);
        nt_get_user_sid(&sid);
    }
    if (role == kInitRoles[2]) nt_get_zendrel_group_sid();
    timespec cpu_start{}, cpu_end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_start);
    auto start = std::chrono::steady_clock::now();
    nt_init();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_end);
    double cpu = static_cast<double>(cpu_end.tv_sec - cpu_start.tv_sec) +
                 static_cast<double>(cpu_end.tv_nsec - cpu_start.tv_nsec) / 1e9;
    bool complete = nt_global_account_sid_cache && nt_sid_uid_cache && nt_domain_group_sid_cache &&
                    nt_private_account_sid_cache;
    std::printf("%.9f %.9f\n", complete ? took.count() : -1.0, cpu);
    return complete ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strncmp(argv[1], "--", 2) == 0 && getenv("QUARN_PREFIX") &&
        (std::strcmp(argv[1], "--look-up-forever") == 0 || std::strncmp(argv[1], "--time-init", 11) == 0))
        return child_main(argv[1]);
    BenchPrefix prefix(true);
    if (!prefix.ok()) return 1;
    return run_benchmarks(argc, argv);
}
