// The layout of a persistent hash table inside its sub-area, the per-process
// handle, and the internal steps the operations share: checking the
// geometry, resetting, locking with repair and walking chains.  Every index
// read from the shared region is checked before it is used, so a damaged
// table is emptied instead of being followed outside its sub-area.
#pragma once

#include <cstdint>

#include "phash.h"
#include "shmem.h"

struct shmem_area;

inline constexpr char kPhashHeadMagic[4] = {'P', 'h', 'a', 's'};
inline constexpr char kPhashTailMagic[4] = {'h', 'T', 'b', 'l'};
inline constexpr uint32_t kPhashHeaderSize = 92;
inline constexpr uint32_t kPhashNameSize = 31;

struct phash_header {
    char head_magic[4];
    uint32_t capacity;
    uint32_t buckets;  // 0 while never initialised
    uint32_t entry_size;
    uint32_t key_size;
    uint32_t value_size;
    int32_t free_head;
    char name[kPhashNameSize];
    uint8_t padding;
    uint32_t lookups;
    uint32_t hits;
    uint32_t enters;
    uint32_t replaces;
    uint32_t deletes;
    uint8_t consistent;
    uint8_t padding2[3];
    uint32_t flags;
    char tail_magic[4];
};
static_assert(offsetof(phash_header, name) == 28);
static_assert(offsetof(phash_header, lookups) == 60);
static_assert(offsetof(phash_header, consistent) == 80);
static_assert(offsetof(phash_header, flags) == 84);
static_assert(sizeof(phash_header) == kPhashHeaderSize);

// The shape of a table: fixed when it is created, checked against its sub-area.
struct phash_geometry {
    uint32_t capacity;
    uint32_t buckets;
    uint32_t entry_size;
    uint32_t key_size;
    uint32_t value_size;
};

struct phash_table {
    phash_header *header;
    int32_t *buckets;
    uint8_t *entries;
    shmem_subarea *subarea;
    int read_only;
    phash_keycmp_fn keycmp;
    phash_hash_fn hash;
    phash_geometry geometry;  // as trusted at creation; the header must keep matching it
};

uint32_t phash_bucket_count(uint32_t capacity);
uint32_t phash_entry_size(uint32_t key_size, uint32_t value_size);
// Bytes a table of this geometry needs; 0 when it does not fit in 32 bits.
uint32_t phash_table_bytes(const phash_geometry &g);

bool phash_has_magics(const phash_header *h);
// The geometry a header claims, when it is one that fits in `subarea_size` bytes.
bool phash_header_geometry(const phash_header *h, uint32_t subarea_size, phash_geometry &g);

// Empties the table: every bucket empty, every entry zero and free, counters zero.
void phash_reset(phash_header *h, const phash_geometry &g);

// The area of flags bit 0, attached once per process; null when it cannot be.
shmem_area *phash_area(bool global);

// Takes the area lock; on a writable handle a table found inconsistent or
// altered is reset first.  False when the lock cannot be had.
bool phash_lock_and_repair(phash_table *t);
// Marks the table consistent (writable handles), stamps the area when the
// table changed, and releases the lock.
void phash_release(phash_table *t, bool changed);

// One operation's hold on its table's area lock, taken with repair.  The
// operation ends it with release().  When the caller's key compare throws
// instead, the hold lets go as the operation's kind asks: a change keeps the
// consistent flag as it stands (cleared once the change began, so the next
// locker empties the table) and stamps the sub-area; a read marks the table
// consistent.  The exception then goes on to the caller.
class PhashHold {
public:
    enum Kind { reading, changing };
    PhashHold(phash_table *t, Kind kind) : t_(t), kind_(kind), held_(phash_lock_and_repair(t)) {}
    ~PhashHold();
    PhashHold(const PhashHold &) = delete;
    PhashHold &operator=(const PhashHold &) = delete;

    bool held() const { return held_; }
    void release(bool changed) {
        held_ = false;
        phash_release(t_, changed);
    }

private:
    phash_table *t_;
    Kind kind_;
    bool held_;
};

// Entry `index`'s fields.
inline uint8_t *phash_entry(phash_table *t, uint32_t index) {
    return t->entries + static_cast<size_t>(index) * t->geometry.entry_size;
}
inline int32_t &phash_next_of(uint8_t *entry) { return *reinterpret_cast<int32_t *>(entry); }
inline uint8_t *phash_key_of(uint8_t *entry) { return entry + 4; }
inline uint8_t &phash_in_use_of(phash_table *t, uint8_t *entry) { return entry[4 + t->geometry.key_size]; }
inline uint8_t *phash_value_of(phash_table *t, uint8_t *entry) { return entry + 5 + t->geometry.key_size; }

// Where a key's chain walk ended.
struct phash_found {
    enum { found, absent, damaged } outcome;
    int32_t index;     // the matching entry
    int32_t previous;  // its predecessor in the chain, -1 for the bucket head
};
// The key's bucket.  The caller's hash runs before the lock is taken: it
// needs nothing of the shared region, and so neither lengthens the time
// others wait nor can it fail while the lock is held.
inline uint32_t phash_bucket_of(const phash_table *t, const void *key) { return t->hash(key) % t->geometry.buckets; }
// Walks the chain of `bucket` for `key`, at most capacity entries, checking every index.
phash_found phash_find(phash_table *t, uint32_t bucket, const void *key);
