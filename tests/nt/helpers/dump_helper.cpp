// dump_helper: a product program that writes crash dumps, for the dump
// suites.  It is linked against the shared library, as a product would be.
//
//   dump_helper SETUP... -- ACTION
//   SETUP:  hostdata DIR | disable N | type N
//   ACTION: init                   prints nt_initialize_minidump's answer
//           crash                  registers, then dies of SIGSEGV in crash_in_helper
//           abort                  registers, then calls abort()
//           heap-corruption        registers, then frees a chunk twice, so that malloc aborts
//           threads N              registers, starts N threads parked in parked_thread, then crashes
//           overflow-thread        registers, starts a thread that uses the library and then
//                                  overflows its stack in overflow_stack
//           write PATH|- REASON    writes a dump on demand and prints "alive"
//           write-under-load N     writes N dumps on demand while 4 threads allocate; prints "alive"
//           reserve PATH           reserves 32 GB, writes a text at its start and 20 GB in, prints
//                                  both addresses, writes a dump on demand to PATH
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "nt.h"
#include "ntregy.h"

namespace {

constexpr int kSettingHostData = 16;
constexpr int kSettingDisableMiniDump = 63;
constexpr int kSettingMiniDumpType = 64;

std::atomic<int> parked{0};
std::atomic<bool> stop{false};

// A real fault even in a sanitized build: the null-pointer check would end
// the program with a report instead of the signal the dump waits for.
extern "C" __attribute__((noinline, no_sanitize("undefined"))) void crash_in_helper(volatile int *where) {
    *where = 42;
    std::puts("not reached");
}

extern "C" __attribute__((noinline)) void *parked_thread(void *) {
    ++parked;
    for (;;) pause();
    return nullptr;
}

// Not a tail call: each frame keeps its own bytes until the stack runs out.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
extern "C" __attribute__((noinline)) int overflow_stack(int depth) {
    volatile char frame[512];
    frame[depth % sizeof frame] = static_cast<char>(depth);
    return overflow_stack(depth + 1) + frame[0];
}
#pragma GCC diagnostic pop

extern "C" __attribute__((noinline)) void *overflowing_thread(void *) {
    nt_environment_lock();  // the thread's first use of the library
    nt_environment_unlock();
    overflow_stack(0);
    return nullptr;
}

extern "C" __attribute__((noinline)) void allocating_thread() {
    std::vector<std::string> keep;
    while (!stop.load()) {
        keep.emplace_back(std::string(64 + keep.size() % 512, 'x'));
        if (keep.size() > 256) keep.clear();
    }
}

}  // namespace

int main(int argc, char **argv) {
    int i = 1;
    for (; i + 1 < argc && std::strcmp(argv[i], "--") != 0; i += 2) {
        std::string key = argv[i];
        if (key == "hostdata") {
            ntregy_set_param(kSettingHostData, argv[i + 1], nullptr);
        } else {
            DWORD value = static_cast<DWORD>(std::strtoul(argv[i + 1], nullptr, 0));
            ntregy_set_param(key == "disable" ? kSettingDisableMiniDump : kSettingMiniDumpType, &value, nullptr);
        }
    }
    if (i >= argc || std::strcmp(argv[i], "--") != 0 || i + 1 >= argc) return 2;
    std::string action = argv[i + 1];
    char **rest = argv + i + 2;
    int rest_count = argc - i - 2;
    setvbuf(stdout, nullptr, _IONBF, 0);

    if (action == "init") {
        std::printf("%d\n", nt_initialize_minidump());
    } else if (action == "crash" || action == "abort") {
        nt_register_minidump(1);
        if (action == "abort") std::abort();
        crash_in_helper(nullptr);
    } else if (action == "heap-corruption") {
        // Freed twice, a chunk too large for the per-thread cache makes malloc
        // abort while it holds its arena's lock.
        nt_register_minidump(1);
        void *volatile chunk = std::malloc(64 * 1024);
        void *volatile guard = std::malloc(64);
        std::free(chunk);
        std::free(chunk);
        std::free(guard);
    } else if (action == "threads" && rest_count == 1) {
        nt_register_minidump(0);
        int count = std::atoi(rest[0]);
        for (int t = 0; t < count; ++t) {
            pthread_t thread;
            pthread_create(&thread, nullptr, parked_thread, nullptr);
        }
        while (parked.load() < count) usleep(1000);
        crash_in_helper(nullptr);
    } else if (action == "overflow-thread") {
        nt_register_minidump(1);
        pthread_t thread;
        pthread_create(&thread, nullptr, overflowing_thread, nullptr);
        pthread_join(thread, nullptr);
    } else if (action == "write" && rest_count == 2) {
        nt_initialize_minidump();
        nt_write_minidump(std::strcmp(rest[0], "-") == 0 ? nullptr : rest[0], rest[1]);
        std::puts("alive");
    } else if (action == "write-under-load" && rest_count == 2) {
        nt_initialize_minidump();
        std::vector<std::thread> workers;
        for (int t = 0; t < 4; ++t) workers.emplace_back(allocating_thread);
        for (int n = std::atoi(rest[1]); n > 0; --n) nt_write_minidump(rest[0], "under load");
        stop = true;
        for (auto &w : workers) w.join();
        std::puts("alive");
    } else if (action == "reserve" && rest_count == 1) {
        nt_initialize_minidump();
        constexpr size_t kReserved = size_t{32} << 30, kFar = size_t{20} << 30;
        void *area = mmap(nullptr, kReserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (area == MAP_FAILED) return 3;
        char *near = static_cast<char *>(area), *far = near + kFar;
        std::strcpy(near, "written near");
        std::strcpy(far, "written far out");
        std::printf("%p %p\n", static_cast<void *>(near), static_cast<void *>(far));
        nt_write_minidump(rest[0], "reserved");
    } else {
        return 2;
    }
    return 0;
}
