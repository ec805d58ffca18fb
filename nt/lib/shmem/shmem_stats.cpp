// The statistics of an area: its names, header and directory, on standard
// output; what stops them goes to standard error.
#include <cstdio>
#include <ctime>

#include "shmem/shmem_area.h"

void shmem_display_stats(shmem_area *area) {
    std::printf("--------------------- Shared Memory Area Statistics ---------------------------\n");
    if (!area || !area->attached) {
        std::fprintf(stderr, "Can not attach to the shared memory\n");
        return;
    }
    std::printf("  Section: %s\n  Mutex: %s\n  File: %s\n", area->section_name ? area->section_name : "(null)",
                area->mutex_name ? area->mutex_name : "(null)", area->file_path);
    shmem_header *h = area->view;
    if (!shmem_header_marked(h)) {
        std::fprintf(stderr, "Data integrity check failed on the shared memory.\nPlease remove \"%s\" and reboot.\n",
                     area->file_path);
        return;
    }
    AreaLock lock(area);
    if (!lock.held()) {
        std::fprintf(stderr, "Can not lock the shared memory.\n");
        return;
    }
    time_t stamp = static_cast<time_t>(h->last_update);
    char when[64] = "\n";
    if (const char *text = std::ctime(&stamp)) std::snprintf(when, sizeof when, "%s", text);
    std::printf("  Version: %-6d           Last Update: 0x%llx %s  # of Sub-Areas: %3d/%-3d          "
                "Size: 0x%08X/0x%08X (Used/Total)\n\n",
                h->version, static_cast<unsigned long long>(h->last_update), when, h->subarea_count, h->max_subareas,
                h->used, h->total_size);
    std::printf("Sec.       UUID                                   Offset       Size\n");
    int count = h->subarea_count < kShmemMaxSubareas ? h->subarea_count : kShmemMaxSubareas;
    for (int i = 0; i < count; ++i) {
        const shmem_directory_entry &e = h->directory[i];
        char text[kShmemUuidTextSize];
        shmem_uuid_text(&e.uuid, text);
        std::printf("%3d  %s 0x%08X 0x%08X\n", i, text, e.offset, e.size);
    }
}
