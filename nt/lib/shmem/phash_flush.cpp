// Flushing: every table of an area emptied at once (except those that ask
// to be kept), and the area written back to its file.
#include "shmem/phash_table.h"
#include "shmem/shmem_area.h"

namespace {

void flush_tables(shmem_area *area) {
    int cursor = 0;
    void *address = nullptr;
    unsigned int size = 0;
    while (shmem_walk_subarea_info(area, &cursor, &address, &size)) {
        if (size < kPhashHeaderSize) continue;
        auto *h = static_cast<phash_header *>(address);
        phash_geometry g{};
        if (!phash_has_magics(h) || (h->flags & PHASH_FLAG_NO_FLUSH) || !phash_header_geometry(h, size, g)) continue;
        phash_reset(h, g);
        h->consistent = 1;
    }
}

int flush_area(bool global) {
    shmem_area *area = phash_area(global);
    if (!area || !shmem_lock_area_mutex(area)) return 0;
    if (!shmem_is_area_readonly(area)) {
        flush_tables(area);
        shmem_commit_area(area);
    }
    return shmem_unlock_area_mutex(area);
}

}  // namespace

extern "C" NT_API int phash_flush_global_tables(void) { return flush_area(true); }
extern "C" NT_API int phash_flush_private_tables(void) { return flush_area(false); }
