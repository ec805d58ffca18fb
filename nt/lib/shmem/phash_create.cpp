// Opening a table: its sub-area in the chosen area, first-time set-up, and
// a full check of what an existing table holds before this process trusts
// it; closing, and the caller's own lock around several operations.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame/frame.h"
#include "shmem/phash_table.h"

namespace {

// Every entry is in exactly one list, in-use entries in a chain and free ones
// in the free list, and the counters agree with what is in use.  The caller's
// hash is not asked here: an entry filed under another bucket is only ever
// missed, never followed out of the table.
bool audit(phash_table *t) {
    const phash_geometry &g = t->geometry;
    std::vector<uint8_t> seen(g.capacity, 0);
    uint32_t in_use = 0, free_count = 0;
    auto walk = [&](int32_t index, uint8_t want_in_use, uint32_t &count) {
        for (; index != -1; ++count) {
            if (index < 0 || static_cast<uint32_t>(index) >= g.capacity || seen[static_cast<uint32_t>(index)])
                return false;
            seen[static_cast<uint32_t>(index)] = 1;
            uint8_t *entry = phash_entry(t, static_cast<uint32_t>(index));
            if (phash_in_use_of(t, entry) != want_in_use) return false;
            index = phash_next_of(entry);
        }
        return true;
    };
    for (uint32_t b = 0; b < g.buckets; ++b)
        if (!walk(t->buckets[b], 1, in_use)) return false;
    if (!walk(t->header->free_head, 0, free_count)) return false;
    return in_use + free_count == g.capacity && in_use == t->header->enters - t->header->deletes;
}

void initialise(phash_table *t, const char *name, uint32_t flags) {
    phash_header *h = t->header;
    std::memset(h, 0, kPhashHeaderSize);
    h->capacity = t->geometry.capacity;
    h->buckets = t->geometry.buckets;
    h->entry_size = t->geometry.entry_size;
    h->key_size = t->geometry.key_size;
    h->value_size = t->geometry.value_size;
    std::memcpy(h->head_magic, kPhashHeadMagic, 4);
    std::memcpy(h->tail_magic, kPhashTailMagic, 4);
    std::strncpy(h->name, name ? name : "", kPhashNameSize - 1);
    h->flags = flags;
    phash_reset(h, t->geometry);
    h->consistent = 1;
    shmem_commit_subarea(t->subarea);
}

// Under the area lock: set the table up when it never was, or when what the
// sub-area holds is no table of this shape; otherwise adopt and check it.
bool open_under_lock(phash_table *t, const char *name, uint32_t flags) {
    phash_header *h = t->header;
    // Set up once (a bucket count) but no table's magics: somebody else's
    // data, which is left as it is.
    if (!phash_has_magics(h) && h->buckets != 0) return false;
    uint32_t size = shmem_get_subarea_size(t->subarea);
    phash_geometry found{};
    bool usable = phash_has_magics(h) && phash_header_geometry(h, size, found);
    if (usable && (found.key_size != t->geometry.key_size || found.value_size != t->geometry.value_size))
        return false;  // another shape of keys would overrun the callers' buffers
    if (!usable || h->buckets == 0) {
        if (t->read_only) return false;
        initialise(t, name, flags);
        return true;
    }
    t->geometry = found;
    t->entries = reinterpret_cast<uint8_t *>(t->buckets + found.buckets);
    if (!t->read_only && (!h->consistent || !audit(t))) {
        phash_reset(h, found);
        h->consistent = 1;
        shmem_commit_subarea(t->subarea);
    }
    return true;
}

}  // namespace

extern "C" NT_API int phash_create(const GUID *uuid, unsigned int capacity, unsigned int key_size,
                                   unsigned int value_size, phash_hash_fn hash, phash_keycmp_fn keycmp,
                                   const char *name, unsigned int flags, phash_table **table_out) {
    if (!table_out) return 0;
    *table_out = nullptr;
    if (!uuid || !hash || !keycmp || capacity == 0 || capacity > 0x7FFFFFFF) return 0;
    shmem_area *area = phash_area(flags & PHASH_FLAG_GLOBAL);
    if (!area) return 0;
    phash_geometry g{capacity, phash_bucket_count(capacity), phash_entry_size(key_size, value_size), key_size,
                     value_size};
    uint32_t bytes = phash_table_bytes(g);
    if (g.entry_size == 0 || bytes == 0) return 0;
    auto *t = static_cast<phash_table *>(std::calloc(1, sizeof(phash_table)));
    if (!t) return 0;
    {
        NtLibraryLock lock;
        if (shmem_create_subarea(area, bytes, uuid, &t->subarea)) {
            t->header = static_cast<phash_header *>(shmem_get_subarea_addr(t->subarea));
            t->buckets = reinterpret_cast<int32_t *>(reinterpret_cast<uint8_t *>(t->header) + kPhashHeaderSize);
            t->entries = reinterpret_cast<uint8_t *>(t->buckets + g.buckets);
            t->read_only = shmem_is_area_readonly(area);
            t->keycmp = keycmp;
            t->hash = hash;
            t->geometry = g;
        }
    }
    bool opened = false;
    if (t->header && shmem_lock_mutex(t->subarea)) {
        // Released also when an allocation of the check fails under it.
        struct Unlock {
            shmem_subarea *subarea;
            ~Unlock() { shmem_unlock_mutex(subarea); }
        } unlock{t->subarea};
        opened = open_under_lock(t, name, flags);
    }
    if (!opened || !phash_has_magics(t->header)) {
        shmem_free_subarea(t->subarea);
        std::free(t);
        return 0;
    }
    *table_out = t;
    return 1;
}

extern "C" NT_API int phash_close(phash_table *table) {
    if (!table) return 0;
    shmem_free_subarea(table->subarea);
    std::free(table);
    return 1;
}

extern "C" NT_API int phash_lock(phash_table *table) {
    if (!table || table->read_only || !phash_has_magics(table->header)) return 0;
    return shmem_lock_mutex(table->subarea);
}

extern "C" NT_API int phash_unlock(phash_table *table) {
    if (!table || table->read_only || !phash_has_magics(table->header)) return 0;
    return shmem_unlock_mutex(table->subarea);
}
