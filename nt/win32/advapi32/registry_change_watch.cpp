// The WAL-index header watch and the fork generation.
#include "advapi32/registry_change_watch.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <cstring>

namespace quarn::win32::registry {

namespace {

constexpr int kRegionSize = 32768;  // SQLite maps its index in regions of this size
constexpr size_t kInitialisedByte = 12;  // isInit of the header

std::atomic<unsigned> generation{0};

void after_fork_in_child() { generation.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

unsigned fork_generation() {
    static const bool registered = pthread_atfork(nullptr, nullptr, after_fork_in_child) == 0;
    (void)registered;
    return generation.load(std::memory_order_relaxed);
}

bool ChangeWatch::attach(sqlite3 *db) {
    if (map_) return true;
    sqlite3_file *file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file || !file->pMethods ||
        file->pMethods->iVersion < 2 || !file->pMethods->xShmMap)
        return false;
    // Region 0 exists once the connection has read in WAL mode; nothing is created here.
    void volatile *region = nullptr;
    if (file->pMethods->xShmMap(file, 0, kRegionSize, 0, &region) != SQLITE_OK || !region) return false;
    map_ = static_cast<const volatile unsigned char *>(region);
    return true;
}

std::optional<WalHeader> ChangeWatch::header() const {
    if (!map_) return std::nullopt;
    // Read a word at a time: the region is page-aligned and the header a
    // multiple of 8 bytes long.
    constexpr size_t kWords = sizeof(WalHeader) / sizeof(uint64_t);
    static_assert(sizeof(WalHeader) % sizeof(uint64_t) == 0);
    const auto *words = reinterpret_cast<const volatile uint64_t *>(map_);
    uint64_t first_words[kWords], second_words[kWords];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < kWords; ++i) first_words[i] = words[i];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < kWords; ++i) second_words[i] = words[kWords + i];
    std::atomic_thread_fence(std::memory_order_acquire);
    WalHeader first, second;
    std::memcpy(first.data(), first_words, sizeof first);
    std::memcpy(second.data(), second_words, sizeof second);
    // Unequal copies are a commit in progress.
    if (first != second || first[kInitialisedByte] != 1) return std::nullopt;
    return first;
}

}  // namespace quarn::win32::registry
