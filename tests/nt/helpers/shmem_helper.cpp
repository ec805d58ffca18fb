// shmem_helper: one step on the shared areas and tables in a process of its
// own, for the cross-process tests: entering and looking up "Sid->Uid"
// entries, dying inside a change or while holding the area mutex, waiting
// for the mutex, and opening the areas' objects as another user.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "identity_caches.h"
#include "nt.h"
#include "phash_table.h"
#include "shmem_area.h"
#include "win32.h"

namespace {

// S-1-5-21-N as a 68-byte key.
void sid_key(unsigned n, BYTE (&key)[kSidSize]) {
    std::memset(key, 0, sizeof key);
    key[0] = 1;
    key[1] = 2;
    key[7] = 5;
    DWORD sub[2] = {21, n};
    std::memcpy(key + 8, sub, sizeof sub);
}

void announce(const char *what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
}

int run(int argc, char **argv) {
    std::string command = argv[1];
    if (command == "enter" && argc == 4) {
        nt_init();
        BYTE key[kSidSize];
        sid_key(static_cast<unsigned>(std::atoi(argv[2])), key);
        DWORD uid = static_cast<DWORD>(std::atoi(argv[3]));
        return phash_enter(nt_sid_uid_cache, key, &uid, sizeof uid) ? 0 : 1;
    }
    if (command == "lookup" && argc == 3) {
        nt_init();
        BYTE key[kSidSize];
        sid_key(static_cast<unsigned>(std::atoi(argv[2])), key);
        DWORD uid = 0;
        unsigned size = sizeof uid;
        if (phash_lookup(nt_sid_uid_cache, key, &uid, &size)) std::printf("%u\n", uid);
        else std::printf("miss\n");
        return 0;
    }
    if (command == "die-mid-change") {
        // The state a process leaves when it dies inside phash_enter: the
        // flag cleared, the chain half-linked.
        nt_init();
        if (!phash_lock_and_repair(nt_sid_uid_cache)) return 1;
        nt_sid_uid_cache->header->consistent = 0;
        nt_sid_uid_cache->buckets[0] = static_cast<int32_t>(nt_sid_uid_cache->geometry.capacity) + 5;
        announce("mid-change");
        for (;;) pause();
    }
    if (command == "hold-area-mutex") {
        shmem_area *area = nullptr;
        if (!shmem_create_area(0, 1, &area) || !shmem_lock_area_mutex(area)) return 1;
        announce("held");
        for (;;) pause();
    }
    if (command == "lock-area" && argc == 3) {
        shmem_lock_wait_ms = static_cast<DWORD>(std::atoi(argv[2]));
        shmem_area *area = nullptr;
        if (!shmem_create_area(0, 1, &area)) {
            announce("no-area");
            return 1;
        }
        if (!shmem_lock_area_mutex(area)) {
            announce("failed");
            return 1;
        }
        announce("locked");
        return shmem_unlock_area_mutex(area) ? 0 : 1;
    }
    if (command == "area-count" && argc == 3) {
        shmem_area *area = nullptr;
        if (!shmem_create_area(0, std::atoi(argv[2]), &area)) {
            announce("no-area");
            return 1;
        }
        std::printf("%d %d\n", area->view->subarea_count, shmem_is_area_readonly(area));
        return 0;
    }
    if (command == "stats") {
        phash_display_stats();
        return 0;
    }
    if (command == "as-uid" && argc == 5) {
        // Drops to another user, then tries to open a file or a mutex by name.
        uid_t uid = static_cast<uid_t>(std::atoi(argv[2]));
        if (setgid(uid) != 0 || setuid(uid) != 0) return 3;
        std::string what = argv[3];
        if (what == "file") {
            HANDLE file = CreateFileA(argv[4], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
            std::printf("%u\n", file == INVALID_HANDLE_VALUE ? GetLastError() : 0u);
        } else if (what == "mutex") {
            HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[4]);
            std::printf("%u\n", mutex ? 0u : GetLastError());
        } else if (what == "area") {
            shmem_area *area = nullptr;
            std::printf("%d\n", shmem_create_area(0, std::atoi(argv[4]), &area));
        }
        return 0;
    }
    return 2;
}

}  // namespace

int main(int argc, char **argv) { return argc < 2 ? 2 : run(argc, argv); }
