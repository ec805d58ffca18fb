// Area files from outside: any bytes at the start of an area file either
// fail the header check, or give an area whose tables open, answer, change,
// scan and flush without reading or writing outside their sub-areas.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "identity/identity_caches.h"
#include "ntregy.h"
#include "phash.h"
#include "shmem.h"

namespace {

constexpr int kHostData = 16;
constexpr size_t kMaxInput = 128 * 1024;  // the header and the first tables
constexpr size_t kAreaFileSize = 3146344;  // with the default ShmemTotalAreaSize
std::filesystem::path area_file;
shmem_area *descriptor = nullptr;  // the process's global area descriptor

// Every operation on one table; a damaged one must only answer oddly.
void exercise(phash_table *t, unsigned key_size, unsigned value_size) {
    uint8_t key[512] = {}, value[512];
    std::memcpy(key, "DOMAIN\\name", 11);
    unsigned size = value_size;
    phash_lookup(t, key, value, &size);
    phash_enter(t, key, key, value_size < 11 ? value_size : 11);
    unsigned *cursor = nullptr;
    for (int i = 0; i < 400 && phash_next(t, &cursor, key, key_size, value, value_size); ++i) {
    }
    phash_term_scan(&cursor);
    phash_delete(t, key);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char pattern[] = "/tmp/quarn-area-fuzz-XXXXXX";
    const char *prefix = mkdtemp(pattern);
    if (!prefix) std::abort();
    setenv("QUARN_PREFIX", prefix, 1);
    std::string host_data = std::string(prefix) + "/hostdata";
    std::filesystem::create_directories(host_data + "/var/cache");
    if (ntregy_set_param(kHostData, host_data.c_str(), nullptr) != 0) std::abort();
    area_file = host_data + "/var/cache/ZNshmemV3";
    // The tables' hold on the global area is taken once per process: take it
    // with an area the library made itself, then let each input replace the file.
    if (!phash_flush_global_tables()) std::abort();
    if (!shmem_create_area(0, 1, &descriptor) || !shmem_free_area(descriptor)) std::abort();
    // The statistics go to standard output; only what breaks matters here.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > kMaxInput) return 0;
    // The input is the start of the file; the rest of the area is zero.
    FILE *out = std::fopen(area_file.c_str(), "wb");
    if (!out) std::abort();
    std::fwrite(data, 1, size, out);
    std::fclose(out);
    std::filesystem::resize_file(area_file, kAreaFileSize);
    shmem_area *area = nullptr;
    if (shmem_create_area(0, 1, &area)) {
        struct Shape {
            const GUID *uuid;
            unsigned capacity, key_size, value_size;
            phash_hash_fn hash;
            phash_keycmp_fn keycmp;
        } shapes[] = {
            {&kAccountNameSidUuid, 32, kQualifiedNameSize, kSidSize, phash_str_hash_fn, phash_str_keycmp_fn},
            {&kSidUidUuid, 100, kSidSize, 4, phash_sid_hash_fn, phash_sid_keycmp_fn},
            {&kDomainGroupSidMapUuid, 200, kSidSize, kSidSize, phash_sid_hash_fn, phash_sid_keycmp_fn},
        };
        for (const Shape &s : shapes) {
            phash_table *t = nullptr;
            if (phash_create(s.uuid, s.capacity, s.key_size, s.value_size, s.hash, s.keycmp, "fuzz", PHASH_FLAG_GLOBAL,
                             &t)) {
                exercise(t, s.key_size, s.value_size);
                phash_close(t);
            }
        }
        int cursor = 0;
        void *address = nullptr;
        unsigned subarea_size = 0;
        shmem_lock_area_mutex(area);
        while (shmem_walk_subarea_info(area, &cursor, &address, &subarea_size)) {
        }
        shmem_unlock_area_mutex(area);
        phash_display_stats();
        phash_flush_global_tables();
    }
    // Detach, or forget the failure, so that the next input is read from the file again.
    shmem_free_area(descriptor);
    return 0;
}
