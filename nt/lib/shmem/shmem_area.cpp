// The two area descriptors of the process (global and private), opening and
// detaching them, the area lock, and committing an area to its file.
#include <cstdio>
#include <ctime>

#include "frame/frame.h"
#include "identity/current_token.h"
#include "nt.h"
#include "shmem/shmem_area.h"

DWORD shmem_lock_wait_ms = 30000;

namespace {

constexpr ULONGLONG kLocalSystemLogon = 999;
constexpr size_t kDebugPathSize = MAX_PATH;

shmem_area global_area{};
shmem_area private_area{};

// A process's logon session never changes, so it is asked for once.
bool runs_as_local_system() {
    static int volatile answer = -1;
    int known = __atomic_load_n(&answer, __ATOMIC_ACQUIRE);
    if (known < 0) {
        known = nt_get_logon_luid(GetCurrentProcessId()) == kLocalSystemLogon ? 1 : 0;
        __atomic_store_n(&answer, known, __ATOMIC_RELEASE);
    }
    return known == 1;
}

// An enabled group of the current token is the product group.
bool in_product_group() {
    PSID group = nt_get_enum_sid(NT_ENUM_SID_ZENDREL_GROUP);
    const TOKEN_GROUPS *groups = group ? nt_current_token_groups() : nullptr;
    if (!groups) return false;
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if ((groups->Groups[i].Attributes & SE_GROUP_ENABLED) && EqualSid(groups->Groups[i].Sid, group)) return true;
    return false;
}

}  // namespace

bool shmem_may_change_global() { return runs_as_local_system() || in_product_group(); }

int64_t shmem_now() { return static_cast<int64_t>(std::time(nullptr)); }

// GetTickCount64, not GetTickCount: the 32-bit count wraps after 49.7 days
// and would move the start of the machine forward.
int64_t shmem_boot_time() { return shmem_now() - static_cast<int64_t>(GetTickCount64() / 1000); }

extern "C" NT_API int shmem_create_area(int, int global, shmem_area **area_out) {
    if (!area_out) return 0;
    *area_out = nullptr;
    if (runs_as_local_system()) global = 1;
    char debug_path[kDebugPathSize];
    size_t needed = 0;
    const char *debug = nt_getenv_safe("QUARN_DEBUG_SHMEM_FILE", debug_path, sizeof debug_path, &needed);
    if (debug && !*debug) debug = nullptr;
    shmem_area *area = debug || global ? &global_area : &private_area;
    NtLibraryLock lock;
    if (!area->initialised) {
        area->initialised = 1;
        area->attached = 0;
        area->total_size = shmem_total_size();
        area->max_subareas = kShmemMaxSubareas;
        area->global = area == &global_area;
        // Whoever else attaches the global area reads it only: its answers
        // decide who a user is, so only the trusted may enter or flush them.
        area->read_only = debug || (area->global && !shmem_may_change_global()) ? 1 : 0;
        if (debug) std::fprintf(stderr, "Debug Shmem File: %s\n\n", debug);
        if (shmem_set_up_names(area, global != 0, debug)) shmem_attach(area);
    }
    if (area->attached) *area_out = area;
    return area->attached;
}

extern "C" NT_API int shmem_free_area(shmem_area *area) {
    if (!area) return 0;
    NtLibraryLock lock;
    area->initialised = 0;
    if (!area->attached) return 0;
    shmem_detach(area);
    return 1;
}

extern "C" NT_API void shmem_commit_area(shmem_area *area) {
    if (!area || !area->attached || area->read_only || !shmem_header_marked(area->view)) return;
    area->view->last_update = shmem_now();
    FlushViewOfFile(area->view, 0);
}

extern "C" NT_API int shmem_lock_area_mutex(shmem_area *area) {
    if (!area) return 0;
    // A reader of the global area, or the debugging copy, has no mutex.
    if (!area->mutex_object) return area->attached;
    LARGE_INTEGER timeout{};
    timeout.QuadPart = -static_cast<long long>(shmem_lock_wait_ms) * 10000;  // from now, in 100 ns
    switch (KeWaitForSingleObject(area->mutex_object, Executive, KernelMode, FALSE, &timeout)) {
    case STATUS_SUCCESS:
    case STATUS_ABANDONED:  // the owner died; its table changes are repaired by their consistent flags
        return 1;
    case STATUS_TIMEOUT:
        std::fprintf(stderr,
                     "Internal error: shmem_win32_lock_area_mutex(%s) timed out waiting for mutex.\n"
                     "Reboot if this problem persists.\n",
                     area->mutex_name);
        return 0;
    default:
        return 0;
    }
}

extern "C" NT_API int shmem_unlock_area_mutex(shmem_area *area) {
    if (!area) return 0;
    if (!area->mutex_object) return area->attached;
    return KeReleaseMutex(area->mutex_object, FALSE) != STATUS_MUTANT_NOT_OWNED ? 1 : 0;
}

extern "C" NT_API int shmem_is_area_readonly(shmem_area *area) {
    if (!area || !area->attached) return 1;
    return area->read_only;
}
