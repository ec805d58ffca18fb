// The statistics of both areas and of every table in them, on standard output.
#include <cstdio>
#include <cstring>

#include "shmem/phash_table.h"
#include "shmem/shmem_area.h"

namespace {

void print_banner(const char *title) {
    std::printf("\n==========================================================\n");
    std::printf("%s", title);
    std::printf("==========================================================\n\n");
}

void print_tables(shmem_area *area) {
    shmem_display_stats(area);
    std::fflush(stdout);
    std::printf("\n------------------- Persistent Hash Table Statistics --------------------------\n");
    std::printf("      Table Name       Lookups    Hits  Enters Replaces Deletes    Size    Used\n");
    AreaLock lock(area);
    if (lock.held()) {
        int cursor = 0;
        void *address = nullptr;
        unsigned int size = 0;
        while (shmem_walk_subarea_info(area, &cursor, &address, &size)) {
            auto *h = static_cast<const phash_header *>(address);
            if (size < kPhashHeaderSize || !phash_has_magics(h)) continue;
            char name[kPhashNameSize];
            std::memcpy(name, h->name, sizeof name);
            name[sizeof name - 1] = 0;
            uint32_t used = h->enters - h->deletes;
            double percent = h->capacity ? used * 100.0 / h->capacity : 0.0;
            std::printf("%-22s %7d %7d %7d  %7d %7d %7d %6.2f%%\n", name, static_cast<int>(h->lookups),
                        static_cast<int>(h->hits), static_cast<int>(h->enters), static_cast<int>(h->replaces),
                        static_cast<int>(h->deletes), static_cast<int>(h->capacity), percent);
        }
    }
    std::fflush(stdout);
}

}  // namespace

extern "C" NT_API void phash_display_stats(void) {
    shmem_area *global = phash_area(true);
    if (global) {
        print_banner("=====================  Global Cache  =====================\n");
        print_tables(global);
    } else {
        std::fprintf(stderr, "Can not attach to the global persistent hash table.\n");
    }
    shmem_area *own = phash_area(false);
    if (!own) {
        std::fprintf(stderr, "Can not attach to the private persistent hash table.\n");
        return;
    }
    if (own == global) return;
    print_banner("=====================  Private Cache =====================\n");
    print_tables(own);
}
