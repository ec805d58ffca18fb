// Look-up, enter, delete and the entry-order scan.  Changes clear the
// consistent flag first and set it last, so that a process dying in between
// leaves a table the next locker empties.  The key's hash is taken before the
// lock, so that the lock is held only for the chain walk and the copy.
#include <cstdlib>
#include <cstring>

#include "shmem/phash_table.h"

namespace {

bool usable(phash_table *t) { return t && phash_has_magics(t->header); }

// A damaged chain found under the lock: empty the table (a cache may lose its content).
void empty_damaged(phash_table *t) {
    t->header->consistent = 0;
    phash_reset(t->header, t->geometry);
}

}  // namespace

extern "C" NT_API int phash_lookup(phash_table *table, const void *key, void *value, unsigned int *size) {
    if (!usable(table) || !key || !size) return 0;
    uint32_t bucket = phash_bucket_of(table, key);
    PhashHold hold(table, PhashHold::reading);
    if (!hold.held()) return 0;
    phash_header *h = table->header;
    if (!table->read_only) ++h->lookups;
    phash_found f = phash_find(table, bucket, key);
    int result = 0;
    if (f.outcome == phash_found::found) {
        if (!table->read_only) ++h->hits;
        uint32_t value_size = table->geometry.value_size;
        uint32_t copied = *size < value_size ? *size : value_size;
        if (value && copied) std::memcpy(value, phash_value_of(table, phash_entry(table, f.index)), copied);
        result = *size >= value_size ? 1 : 0;
        *size = value_size;
    } else if (f.outcome == phash_found::damaged && !table->read_only) {
        empty_damaged(table);
    }
    hold.release(f.outcome == phash_found::damaged);
    return result;
}

extern "C" NT_API int phash_enter(phash_table *table, const void *key, const void *value, unsigned int length) {
    if (!usable(table) || !key || (length && !value) || length > table->geometry.value_size || table->read_only)
        return 0;
    uint32_t bucket = phash_bucket_of(table, key);
    PhashHold hold(table, PhashHold::changing);
    if (!hold.held()) return 0;
    phash_header *h = table->header;
    h->consistent = 0;
    shmem_commit_subarea(table->subarea);
    phash_found f = phash_find(table, bucket, key);
    if (f.outcome == phash_found::damaged) empty_damaged(table);
    int32_t index = f.index;
    bool fresh = f.outcome != phash_found::found;
    if (!fresh) {
        ++h->replaces;
    } else {
        index = h->free_head;
        if (index != -1 && phash_in_use_of(table, phash_entry(table, static_cast<uint32_t>(index))) != 0) {
            empty_damaged(table);  // the free list runs through a live entry
            index = h->free_head;
        }
        if (index == -1) {  // full: nothing is evicted
            hold.release(true);
            return 0;
        }
        h->free_head = phash_next_of(phash_entry(table, static_cast<uint32_t>(index)));
        ++h->enters;
    }
    uint8_t *entry = phash_entry(table, static_cast<uint32_t>(index));
    std::memcpy(phash_key_of(entry), key, table->geometry.key_size);
    uint8_t *field = phash_value_of(table, entry);
    if (length) std::memcpy(field, value, length);
    std::memset(field + length, 0, table->geometry.value_size - length);
    if (fresh) {
        phash_in_use_of(table, entry) = 1;
        phash_next_of(entry) = table->buckets[bucket];
        table->buckets[bucket] = index;
    }
    hold.release(true);
    return 1;
}

extern "C" NT_API int phash_delete(phash_table *table, const void *key) {
    if (!usable(table) || !key || table->read_only) return 0;
    uint32_t bucket = phash_bucket_of(table, key);
    PhashHold hold(table, PhashHold::changing);
    if (!hold.held()) return 0;
    phash_found f = phash_find(table, bucket, key);
    if (f.outcome != phash_found::found) {
        if (f.outcome == phash_found::damaged) empty_damaged(table);
        hold.release(f.outcome == phash_found::damaged);
        return 0;
    }
    phash_header *h = table->header;
    h->consistent = 0;
    shmem_commit_subarea(table->subarea);
    uint8_t *entry = phash_entry(table, static_cast<uint32_t>(f.index));
    if (f.previous == -1)
        table->buckets[bucket] = phash_next_of(entry);
    else
        phash_next_of(phash_entry(table, static_cast<uint32_t>(f.previous))) = phash_next_of(entry);
    phash_next_of(entry) = h->free_head;
    h->free_head = f.index;
    phash_in_use_of(table, entry) = 0;
    ++h->deletes;
    hold.release(true);
    return 1;
}

extern "C" NT_API void phash_term_scan(unsigned int **cursor) {
    if (!cursor || !*cursor) return;
    std::free(*cursor);
    *cursor = nullptr;
}

extern "C" NT_API int phash_next(phash_table *table, unsigned int **cursor, void *key, unsigned int key_size,
                                 void *value, unsigned int value_size) {
    if (!usable(table) || !cursor) return 0;
    if (!*cursor) {
        *cursor = static_cast<unsigned int *>(std::calloc(1, sizeof(unsigned int)));
        if (!*cursor) return 0;
    }
    const uint32_t capacity = table->geometry.capacity;
    if (**cursor >= capacity) {
        phash_term_scan(cursor);
        return 0;
    }
    PhashHold hold(table, PhashHold::reading);
    if (!hold.held()) {
        phash_term_scan(cursor);
        return 0;
    }
    int result = 0;
    for (uint32_t i = **cursor; i < capacity && !result; ++i) {
        uint8_t *entry = phash_entry(table, i);
        if (phash_in_use_of(table, entry) != 1) continue;
        uint32_t k = key_size < table->geometry.key_size ? key_size : table->geometry.key_size;
        uint32_t v = value_size < table->geometry.value_size ? value_size : table->geometry.value_size;
        if (key && k) std::memcpy(key, phash_key_of(entry), k);
        if (value && v) std::memcpy(value, phash_value_of(table, entry), v);
        **cursor = i + 1;
        result = 1;
    }
    hold.release(false);
    if (!result) phash_term_scan(cursor);
    return result;
}
