// Checking an area header, and the text form of sub-area UUIDs.
#include "shmem/shmem_layout.h"

#include <cstdio>

bool shmem_header_sound(const shmem_header *h, uint32_t total_size) {
    if (!shmem_header_marked(h) || h->max_subareas != kShmemMaxSubareas || h->total_size != total_size)
        return false;
    if (h->subarea_count < 0 || h->subarea_count > kShmemMaxSubareas) return false;
    if (h->used < kShmemHeaderSize || h->used > total_size) return false;
    for (int i = 0; i < h->subarea_count; ++i) {
        const shmem_directory_entry &e = h->directory[i];
        if (e.offset < kShmemHeaderSize || e.offset % 8 || e.size % 8 || e.size > h->used ||
            e.offset > h->used - e.size)
            return false;
    }
    return true;
}

void shmem_uuid_text(const GUID *uuid, char (&text)[kShmemUuidTextSize]) {
    std::snprintf(text, sizeof text, "%08X.%04X%04X.%02X%02X.%02X:%02X:%02X:%02X:%02X:%02X",
                  static_cast<unsigned>(uuid->Data1), uuid->Data2, uuid->Data3, uuid->Data4[0], uuid->Data4[1],
                  uuid->Data4[2], uuid->Data4[3], uuid->Data4[4], uuid->Data4[5], uuid->Data4[6], uuid->Data4[7]);
}
