// shmem_helper: one step on the shared areas and tables in a process of its
// own, for the cross-process tests: entering and looking up "Sid->Uid"
// entries, dying inside a change or while holding the area mutex, waiting
// for the mutex, allocating sub-areas, and doing any of it as another user.
#include <grp.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "identity/identity_caches.h"
#include "nt.h"
#include "shmem/phash_table.h"
#include "shmem/shmem_area.h"
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

// A UUID that differs from its neighbours in its first group only.
GUID test_uuid(unsigned n) { return {0x5E000000u + n, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}}; }

void announce(const char *what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
}

[[noreturn]] void wait_for_kill() {
    for (;;) pause();
}

shmem_area *open_area(int global) {
    shmem_area *area = nullptr;
    if (!shmem_create_area(0, global, &area)) announce("no-area");
    return area;
}

int run(int argc, char **argv) {
    std::string command = argv[0];
    if (command == "enter" && argc == 3) {
        nt_init();
        BYTE key[kSidSize];
        sid_key(static_cast<unsigned>(std::atoi(argv[1])), key);
        DWORD uid = static_cast<DWORD>(std::atoi(argv[2]));
        return phash_enter(nt_sid_uid_cache, key, &uid, sizeof uid) ? 0 : 1;
    }
    if (command == "lookup" && argc == 2) {
        nt_init();
        BYTE key[kSidSize];
        sid_key(static_cast<unsigned>(std::atoi(argv[1])), key);
        DWORD uid = 0;
        unsigned size = sizeof uid;
        if (phash_lookup(nt_sid_uid_cache, key, &uid, &size)) std::printf("%u\n", uid);
        else std::printf("miss\n");
        return 0;
    }
    if (command == "enter-refused" && argc == 2) {
        // On a read-only area the table is found, but takes no entries.
        nt_init();
        BYTE key[kSidSize];
        sid_key(static_cast<unsigned>(std::atoi(argv[1])), key);
        DWORD uid = 1;
        std::printf("%s %d\n", nt_sid_uid_cache ? "table" : "no-table",
                    phash_enter(nt_sid_uid_cache, key, &uid, sizeof uid));
        return 0;
    }
    if (command == "die-mid-change") {
        // The state a process leaves when it dies inside phash_enter: the
        // flag cleared, a chain half-linked.
        nt_init();
        if (!phash_lock_and_repair(nt_sid_uid_cache)) return 1;
        nt_sid_uid_cache->header->consistent = 0;
        nt_sid_uid_cache->buckets[0] = static_cast<int32_t>(nt_sid_uid_cache->geometry.capacity) + 5;
        announce("mid-change");
        wait_for_kill();
    }
    if (command == "hold-area-mutex") {
        shmem_area *area = open_area(1);
        if (!area || !shmem_lock_area_mutex(area)) return 1;
        announce("held");
        wait_for_kill();
    }
    if (command == "lock-area" && argc == 2) {
        shmem_lock_wait_ms = static_cast<DWORD>(std::atoi(argv[1]));
        shmem_area *area = open_area(1);
        if (!area) return 1;
        if (!shmem_lock_area_mutex(area)) {
            announce("failed");
            return 1;
        }
        announce("locked");
        return shmem_unlock_area_mutex(area) ? 0 : 1;
    }
    if (command == "area-count" && argc == 2) {
        shmem_area *area = open_area(std::atoi(argv[1]));
        if (!area) return 1;
        std::printf("%d %d\n", area->view->subarea_count, shmem_is_area_readonly(area));
        return 0;
    }
    if (command == "subarea" && argc == 4) {
        // subarea <global> <uuid number> <size>: find or allocate, and write the area back.
        shmem_area *area = open_area(std::atoi(argv[1]));
        if (!area) return 1;
        GUID uuid = test_uuid(static_cast<unsigned>(std::atoi(argv[2])));
        shmem_subarea *subarea = nullptr;
        int made = shmem_create_subarea(area, static_cast<unsigned>(std::atoi(argv[3])), &uuid, &subarea);
        shmem_commit_area(area);
        std::printf("%d %u\n", made, shmem_get_subarea_size(subarea));
        shmem_free_subarea(subarea);
        return 0;
    }
    if (command == "hold-area" && argc == 2) {
        // Keeps an area open and says what its file and mutex are called.
        shmem_area *area = open_area(std::atoi(argv[1]));
        if (!area) return 1;
        std::printf("%s\n%s\n", area->file_path, area->mutex_name);
        announce("ready");
        wait_for_kill();
    }
    if (command == "flush" && argc == 2) {
        // flush <global>: prints the flush's result.
        std::printf("%d\n", std::atoi(argv[1]) ? phash_flush_global_tables() : phash_flush_private_tables());
        return 0;
    }
    if (command == "stats") {
        phash_display_stats();
        return 0;
    }
    if (command == "open-file" && argc == 2) {
        HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        std::printf("%u\n", file == INVALID_HANDLE_VALUE ? GetLastError() : 0u);
        return 0;
    }
    if (command == "open-mutex" && argc == 2) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[1]);
        std::printf("%u\n", mutex ? 0u : GetLastError());
        return 0;
    }
    if (command == "as-uid" && argc >= 3) {
        // as-uid <uid> <command...>: drops to another user first.
        uid_t uid = static_cast<uid_t>(std::atoi(argv[1]));
        if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0) return 3;
        return run(argc - 2, argv + 2);
    }
    if (command == "as-member" && argc >= 4) {
        // as-member <uid> <gid> <command...>: drops to another user whose only group is <gid>.
        uid_t uid = static_cast<uid_t>(std::atoi(argv[1]));
        gid_t gid = static_cast<gid_t>(std::atoi(argv[2]));
        if (setgroups(1, &gid) != 0 || setgid(gid) != 0 || setuid(uid) != 0) return 3;
        return run(argc - 3, argv + 3);
    }
    return 2;
}

}  // namespace

int main(int argc, char **argv) { return argc < 2 ? 2 : run(argc - 1, argv + 1); }
