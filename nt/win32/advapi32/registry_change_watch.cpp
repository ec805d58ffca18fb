// The WAL-index header watch and the fork generation.
#include "advapi32/registry_change_watch.h"

#include <pthread.h>

#include <atomic>

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
    WalHeader first, second;
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < first.size(); ++i) first[i] = map_[i];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < second.size(); ++i) second[i] = map_[first.size() + i];
    std::atomic_thread_fence(std::memory_order_acquire);
    // Unequal copies are a commit in progress.
    if (first != second || first[kInitialisedByte] != 1) return std::nullopt;
    return first;
}

}  // namespace quarn::win32::registry
