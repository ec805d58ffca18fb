// Table geometry: bucket counts, entry sizes, the check of a header against
// its sub-area, and resetting a table to empty.
#include <cstring>

#include "shmem/phash_table.h"

namespace {
constexpr uint32_t kBucketCounts[] = {7, 17, 31, 61, 127, 257, 509, 1021, 2053, 4093};
}

uint32_t phash_bucket_count(uint32_t capacity) {
    for (uint32_t count : kBucketCounts)
        if (count >= capacity) return count;
    return 4093;
}

uint32_t phash_entry_size(uint32_t key_size, uint32_t value_size) {
    uint64_t size = (static_cast<uint64_t>(key_size) + value_size + 5 + 3) & ~uint64_t{3};
    return size > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(size);
}

uint32_t phash_table_bytes(const phash_geometry &g) {
    uint64_t bytes = kPhashHeaderSize + 4ull * g.buckets + static_cast<uint64_t>(g.capacity) * g.entry_size;
    return bytes > 0xFFFFFFF8ull ? 0 : static_cast<uint32_t>(bytes);
}

bool phash_has_magics(const phash_header *h) {
    return std::memcmp(h->head_magic, kPhashHeadMagic, 4) == 0 && std::memcmp(h->tail_magic, kPhashTailMagic, 4) == 0;
}

bool phash_header_geometry(const phash_header *h, uint32_t subarea_size, phash_geometry &g) {
    g = {h->capacity, h->buckets, h->entry_size, h->key_size, h->value_size};
    if (g.capacity == 0 || g.capacity > 0x7FFFFFFF || g.buckets == 0 || g.entry_size == 0 ||
        g.entry_size != phash_entry_size(g.key_size, g.value_size))
        return false;
    uint32_t bytes = phash_table_bytes(g);
    return bytes != 0 && bytes <= subarea_size;
}

void phash_reset(phash_header *h, const phash_geometry &g) {
    auto *buckets = reinterpret_cast<int32_t *>(reinterpret_cast<uint8_t *>(h) + kPhashHeaderSize);
    for (uint32_t i = 0; i < g.buckets; ++i) buckets[i] = -1;
    uint8_t *entries = reinterpret_cast<uint8_t *>(buckets + g.buckets);
    std::memset(entries, 0, static_cast<size_t>(g.capacity) * g.entry_size);
    for (uint32_t i = 0; i < g.capacity; ++i) {
        int32_t next = i + 1 < g.capacity ? static_cast<int32_t>(i + 1) : -1;
        std::memcpy(entries + static_cast<size_t>(i) * g.entry_size, &next, sizeof next);
    }
    h->free_head = 0;
    h->lookups = h->hits = h->enters = h->replaces = h->deletes = 0;
}
