// Sub-areas: allocated once, in order, from an area's free space under the
// area lock, found again by their UUID, and walked in directory order.
#include <cstdlib>
#include <cstring>

#include "nt.h"
#include "shmem/shmem_area.h"

namespace {

uint32_t round_up_8(uint32_t size) { return (size + 7u) & ~7u; }

// The directory index of `uuid`, appending a new entry when there is room;
// -1 when it is neither there nor can be added.
int find_or_append(shmem_area *area, uint32_t size, const GUID *uuid) {
    shmem_header *h = area->view;
    int count = h->subarea_count;
    if (count < 0 || count > h->max_subareas || count > kShmemMaxSubareas) return -1;
    for (int i = 0; i < count; ++i)
        if (std::memcmp(&h->directory[i].uuid, uuid, sizeof(GUID)) == 0) return i;
    if (area->read_only || count >= h->max_subareas) return -1;
    uint32_t offset = round_up_8(h->used);
    if (h->used > area->total_size || offset > area->total_size || size > area->total_size - offset) {
        char text[kShmemUuidTextSize];
        shmem_uuid_text(uuid, text);
        nt_log_event(NT_EVENT_WARNING, "Failed to create shmem subarea for sub-area with id %s\n", text);
        return -1;
    }
    h->directory[count] = {*uuid, offset, size};
    h->used = offset + size;
    h->subarea_count = count + 1;
    return count;
}

// The directory entry of a handle, or null when the handle or its area cannot
// be trusted; an entry outside the mapped file is never handed out.
const shmem_directory_entry *entry_of(shmem_subarea *subarea) {
    if (!subarea || !subarea->area || !subarea->area->attached) return nullptr;
    shmem_area *area = subarea->area;
    shmem_header *h = area->view;
    if (!shmem_header_marked(h) || subarea->index < 0 || subarea->index >= h->subarea_count ||
        subarea->index >= kShmemMaxSubareas)
        return nullptr;
    const shmem_directory_entry *e = &h->directory[subarea->index];
    if (e->offset < kShmemHeaderSize || e->size > area->total_size || e->offset > area->total_size - e->size)
        return nullptr;
    return e;
}

}  // namespace

extern "C" NT_API int shmem_create_subarea(shmem_area *area, unsigned int size, const GUID *uuid,
                                           shmem_subarea **subarea_out) {
    if (!subarea_out || !uuid) return 0;
    *subarea_out = nullptr;
    if (!area && !shmem_create_area(0, 0, &area)) return 0;
    if (!area->attached || !shmem_header_marked(area->view) || size > 0xFFFFFFF8u) return 0;
    uint32_t rounded = round_up_8(size);
    AreaLock lock(area);
    if (!lock.held()) return 0;
    int index = find_or_append(area, rounded, uuid);
    if (index < 0 || area->view->directory[index].size != rounded) return 0;
    auto *subarea = static_cast<shmem_subarea *>(std::malloc(sizeof(shmem_subarea)));
    if (!subarea) return 0;
    *subarea = {area, index};
    *subarea_out = subarea;
    return 1;
}

extern "C" NT_API int shmem_free_subarea(shmem_subarea *subarea) {
    if (!subarea) return 0;
    std::free(subarea);
    return 1;
}

extern "C" NT_API void *shmem_get_subarea_addr(shmem_subarea *subarea) {
    const shmem_directory_entry *e = entry_of(subarea);
    return e ? reinterpret_cast<char *>(subarea->area->view) + e->offset : nullptr;
}

extern "C" NT_API unsigned int shmem_get_subarea_size(shmem_subarea *subarea) {
    const shmem_directory_entry *e = entry_of(subarea);
    return e ? e->size : 0;
}

extern "C" NT_API void shmem_commit_subarea(shmem_subarea *subarea) {
    if (!entry_of(subarea) || subarea->area->read_only) return;
    subarea->area->view->last_update = shmem_now();
}

extern "C" NT_API int shmem_lock_mutex(shmem_subarea *subarea) {
    return subarea && subarea->area && subarea->area->attached ? shmem_lock_area_mutex(subarea->area) : 0;
}

extern "C" NT_API int shmem_unlock_mutex(shmem_subarea *subarea) {
    return subarea && subarea->area && subarea->area->attached ? shmem_unlock_area_mutex(subarea->area) : 0;
}

extern "C" NT_API int shmem_walk_subarea_info(shmem_area *area, int *cursor, void **address, unsigned int *size) {
    if (!cursor) return 0;
    if (area && area->attached && shmem_header_marked(area->view) && *cursor >= 0 &&
        *cursor < area->view->subarea_count && *cursor < kShmemMaxSubareas) {
        shmem_subarea probe{area, *cursor};
        if (const shmem_directory_entry *e = entry_of(&probe)) {
            if (address) *address = reinterpret_cast<char *>(area->view) + e->offset;
            if (size) *size = e->size;
            ++*cursor;
            return 1;
        }
    }
    *cursor = -1;
    return 0;
}
