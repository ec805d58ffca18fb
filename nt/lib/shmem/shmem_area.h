// The area descriptor and the internal side of shared memory areas: setting
// up names, attaching, the lock's wait and the statistics.
#pragma once

#include "shmem.h"
#include "shmem/shmem_layout.h"
#include "win32.h"
#include "winternl.h"

struct shmem_area {
    int initialised;
    int attached;
    int global;  // the global area or its debugging copy, else the private area
    int read_only;
    uint32_t total_size;
    int max_subareas;
    char *section_name;  // null for the debugging copy
    char *mutex_name;    // null for the debugging copy
    char *file_path;
    char *names_block;   // the one allocation that holds the three texts
    HANDLE section;
    HANDLE mutex;
    PVOID mutex_object;  // the mutex referenced once, so that locking skips the handle table
    shmem_header *view;
};

struct shmem_subarea {
    shmem_area *area;
    int index;
};

// The area lock's longest wait; tests shorten it.
extern DWORD shmem_lock_wait_ms;

// Whether this process may change the global area: LocalSystem (root) and
// members of the product group may; everybody else attaches it read-only.
bool shmem_may_change_global();

// The size of an area file from ShmemTotalAreaSize: the data capacity + 616.
uint32_t shmem_total_size();

// Fills the descriptor's names and path for the global or private area, or
// for the debugging copy at `debug_path`; false when they cannot be had.
bool shmem_set_up_names(shmem_area *area, bool global, const char *debug_path);

// Maps the area (read-write; the global one read-only for a process that may
// not change it; the debugging copy read-only without a mutex); on failure
// leaves it detached with nothing held.
bool shmem_attach(shmem_area *area);
// Releases the view and both handles.
void shmem_detach(shmem_area *area);

// Seconds since 1970 now, and when the machine started.
int64_t shmem_now();
int64_t shmem_boot_time();

// Holds an area's lock for a scope; an exception passing through releases it.
class AreaLock {
public:
    explicit AreaLock(shmem_area *area) : area_(area), held_(shmem_lock_area_mutex(area) != 0) {}
    ~AreaLock() {
        if (held_) shmem_unlock_area_mutex(area_);
    }
    AreaLock(const AreaLock &) = delete;
    AreaLock &operator=(const AreaLock &) = delete;
    bool held() const { return held_; }

private:
    shmem_area *area_;
    bool held_;
};

// The area's statistics on standard output.
void shmem_display_stats(shmem_area *area);
