// What every table operation shares: attaching the two areas once per
// process, taking the area lock with repair, releasing it, and walking a
// key's chain without trusting any index the shared region holds.
#include <cstring>

#include "frame/frame.h"
#include "shmem/phash_table.h"

namespace {

struct AreaSlot {
    int attempted;
    shmem_area *area;
};
AreaSlot slots[2];  // [0] private, [1] global

// The header still describes the table this handle was opened on.
bool header_intact(const phash_table *t) {
    const phash_header *h = t->header;
    const phash_geometry &g = t->geometry;
    return phash_has_magics(h) && h->capacity == g.capacity && h->buckets == g.buckets &&
           h->entry_size == g.entry_size && h->key_size == g.key_size && h->value_size == g.value_size &&
           h->free_head >= -1 && h->free_head < static_cast<int32_t>(g.capacity);
}

void repair(phash_table *t) {
    phash_header *h = t->header;
    std::memcpy(h->head_magic, kPhashHeadMagic, 4);
    std::memcpy(h->tail_magic, kPhashTailMagic, 4);
    h->capacity = t->geometry.capacity;
    h->buckets = t->geometry.buckets;
    h->entry_size = t->geometry.entry_size;
    h->key_size = t->geometry.key_size;
    h->value_size = t->geometry.value_size;
    phash_reset(h, t->geometry);
    h->consistent = 1;
    shmem_commit_subarea(t->subarea);
}

}  // namespace

shmem_area *phash_area(bool global) {
    AreaSlot &slot = slots[global ? 1 : 0];
    if (!__atomic_load_n(&slot.attempted, __ATOMIC_ACQUIRE)) {
        NtLibraryLock lock;
        if (!slot.attempted) {
            shmem_create_area(0, global ? 1 : 0, &slot.area);
            __atomic_store_n(&slot.attempted, 1, __ATOMIC_RELEASE);
        }
    }
    return slot.area;
}

bool phash_lock_and_repair(phash_table *t) {
    if (!shmem_lock_mutex(t->subarea)) return false;
    if (t->read_only) {
        if (header_intact(t)) return true;
        shmem_unlock_mutex(t->subarea);  // nothing safe to read, and no right to mend it
        return false;
    }
    if (!t->header->consistent || !header_intact(t)) repair(t);
    return true;
}

void phash_release(phash_table *t, bool changed) {
    if (!t->read_only) {
        // Stored only when cleared: a look-up leaves the shared page unwritten here.
        if (!t->header->consistent) t->header->consistent = 1;
        if (changed) shmem_commit_subarea(t->subarea);
    }
    shmem_unlock_mutex(t->subarea);
}

PhashHold::~PhashHold() {
    if (!held_) return;
    if (kind_ == reading) {
        phash_release(t_, false);
        return;
    }
    if (!t_->read_only) shmem_commit_subarea(t_->subarea);
    shmem_unlock_mutex(t_->subarea);
}

phash_found phash_find(phash_table *t, uint32_t bucket, const void *key) {
    const uint32_t capacity = t->geometry.capacity;
    int32_t previous = -1;
    int32_t index = t->buckets[bucket];
    for (uint32_t steps = 0; index != -1; ++steps) {
        // An index out of range, a free entry in a chain, or a loop: damaged.
        if (index < 0 || static_cast<uint32_t>(index) >= capacity || steps >= capacity)
            return {phash_found::damaged, -1, -1};
        uint8_t *entry = phash_entry(t, static_cast<uint32_t>(index));
        if (phash_in_use_of(t, entry) != 1) return {phash_found::damaged, -1, -1};
        if (t->keycmp(key, phash_key_of(entry))) return {phash_found::found, index, previous};
        previous = index;
        index = phash_next_of(entry);
    }
    return {phash_found::absent, -1, previous};
}
