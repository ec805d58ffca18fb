// The long-path switch: decided once per process from DisableUnicodeLongPath
// (absent or 0 allows paths of any length), or refused by nt_disable_long_path.
#include <atomic>

#include "nt.h"
#include "ntregy.h"
#include "paths/paths.h"

namespace {

enum Switch : int { kUndecided = 0, kAllowed = 1, kRefused = 2 };
constexpr int kDisableUnicodeLongPath = 62;

std::atomic<int> long_paths{kUndecided};

}  // namespace

int nt_long_paths_enabled() {
    int state = long_paths.load(std::memory_order_acquire);
    if (state == kUndecided) {
        nt_environment_lock();
        state = long_paths.load(std::memory_order_acquire);
        if (state == kUndecided) {
            DWORD value = 0;
            bool refused = ntregy_get_param(kDisableUnicodeLongPath, sizeof value, &value, nullptr) == ERROR_SUCCESS &&
                           value != 0;
            state = refused ? kRefused : kAllowed;
            long_paths.store(state, std::memory_order_release);
        }
        nt_environment_unlock();
    }
    return state == kAllowed;
}

extern "C" NT_API void nt_disable_long_path(void) {
    nt_environment_lock();
    long_paths.store(kRefused, std::memory_order_release);
    nt_environment_unlock();
}
