// Persistent hash tables in one process: the layout byte for byte, bucket
// counts, hash and compare functions, enter, look-up, delete, scans, flush,
// statistics, the identity caches of nt_init, and damaged tables.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "area_test_support.h"
#include "identity/identity_caches.h"
#include "nt.h"
#include "shmem/phash_table.h"
#include "shmem/shmem_area.h"
#include "temp_prefix.h"

namespace quarn::test {
namespace {

// A 32-bit key and value table, the simplest shape.
class PhashTable : public testing::Test {
protected:
    void SetUp() override { use_host_data(); }
    void TearDown() override {
        for (phash_table *t : tables_) phash_close(t);
    }
    phash_table *open(unsigned n, unsigned capacity, unsigned flags = PHASH_FLAG_GLOBAL, unsigned key_size = 4,
                      unsigned value_size = 4) {
        GUID uuid = test_uuid(n);
        phash_table *t = nullptr;
        EXPECT_EQ(phash_create(&uuid, capacity, key_size, value_size, phash_int_hash_fn, phash_int_keycmp_fn,
                               "numbers", flags, &t),
                  1);
        if (t) tables_.push_back(t);
        return t;
    }
    static int enter(phash_table *t, uint32_t key, uint32_t value) {
        return phash_enter(t, &key, &value, sizeof value);
    }
    static bool has(phash_table *t, uint32_t key, uint32_t *value = nullptr) {
        uint32_t v = 0xdeadbeef;
        unsigned size = sizeof v;
        int found = phash_lookup(t, &key, &v, &size);
        if (value) *value = v;
        return found == 1;
    }

    std::vector<phash_table *> tables_;
};

TEST(PhashGeometry, BucketCountsAreTheFirstPrimeNotBelowTheCapacity) {
    const std::pair<uint32_t, uint32_t> rows[] = {{1, 7},       {7, 7},       {8, 17},     {17, 17},
                                                  {100, 127},   {200, 257},   {1021, 1021}, {2053, 2053},
                                                  {2054, 4093}, {10000, 4093}};
    for (auto [capacity, buckets] : rows) {
        SCOPED_TRACE(capacity);
        EXPECT_EQ(phash_bucket_count(capacity), buckets);
    }
    EXPECT_EQ(phash_entry_size(322, 68), 396u);
    EXPECT_EQ(phash_entry_size(68, 4), 80u);
    EXPECT_EQ(phash_entry_size(68, 68), 144u);
    EXPECT_EQ(phash_entry_size(4, 4), 16u);
}

TEST(PhashHash, StringSidAndIntegerHashes) {
    EXPECT_EQ(phash_str_hash_fn(""), 0u);
    EXPECT_EQ(phash_str_hash_fn("a"), 97u);
    EXPECT_EQ(phash_str_hash_fn("ab"), 97u + ((97u << 7) ^ 98u));
    // Bytes are signed: 0xFF widens to 0xFFFFFFFF.
    EXPECT_EQ(phash_str_hash_fn("\xff"), 0xFFFFFFFFu);
    uint32_t n = 0x12345678;
    EXPECT_EQ(phash_int_hash_fn(&n), 0x12345678u);
    BYTE sid[68] = {1, 3, 0, 0, 0, 0, 0, 5};
    DWORD subs[3] = {21, 0xFFFFFFFF, 7};
    std::memcpy(sid + 8, subs, sizeof subs);
    EXPECT_EQ(phash_sid_hash_fn(sid), 21u + 0xFFFFFFFFu + 7u);
    sid[7] = 1;  // another authority: the same hash
    sid[0] = 9;
    EXPECT_EQ(phash_sid_hash_fn(sid), 27u);
}

TEST(PhashHash, CompareFunctions) {
    uint32_t a = 5, b = 5, c = 6;
    EXPECT_EQ(phash_int_keycmp_fn(&a, &b), 1);
    EXPECT_EQ(phash_int_keycmp_fn(&a, &c), 0);
    EXPECT_EQ(phash_str_keycmp_fn("Dom\\User", "Dom\\User"), 1);
    EXPECT_EQ(phash_str_keycmp_fn("Dom\\User", "DOM\\USER"), 0);
    BYTE one[68] = {1, 1, 0, 0, 0, 0, 0, 5, 18}, two[68] = {1, 1, 0, 0, 0, 0, 0, 5, 18};
    two[20] = 0xCC;  // beyond the SID: ignored
    EXPECT_NE(phash_sid_keycmp_fn(one, two), 0);
    two[8] = 19;
    EXPECT_EQ(phash_sid_keycmp_fn(one, two), 0);
}

TEST_F(PhashTable, NewTableLayoutByteForByte) {
    GUID uuid = test_uuid(1);
    phash_table *t = nullptr;
    ASSERT_EQ(phash_create(&uuid, 32, 322, 68, phash_str_hash_fn, phash_str_keycmp_fn,
                           "a name longer than thirty characters", PHASH_FLAG_GLOBAL, &t),
              1);
    tables_.push_back(t);
    EXPECT_EQ(shmem_get_subarea_size(t->subarea), 13008u);
    const auto *bytes = static_cast<const uint8_t *>(shmem_get_subarea_addr(t->subarea));
    std::string h(reinterpret_cast<const char *>(bytes), 13008);
    EXPECT_EQ(h.substr(0, 4), "Phas");
    EXPECT_EQ(field_at<uint32_t>(h, 4), 32u);
    EXPECT_EQ(field_at<uint32_t>(h, 8), 61u);
    EXPECT_EQ(field_at<uint32_t>(h, 12), 396u);
    EXPECT_EQ(field_at<uint32_t>(h, 16), 322u);
    EXPECT_EQ(field_at<uint32_t>(h, 20), 68u);
    EXPECT_EQ(field_at<int32_t>(h, 24), 0);
    EXPECT_EQ(std::string(h.data() + 28), "a name longer than thirty char");
    EXPECT_EQ(h[58], '\0');
    EXPECT_EQ(h.substr(60, 20), std::string(20, '\0'));
    EXPECT_EQ(h[80], 1);
    EXPECT_EQ(field_at<uint32_t>(h, 84), 1u);
    EXPECT_EQ(h.substr(88, 4), "hTbl");
    for (unsigned b = 0; b < 61; ++b) ASSERT_EQ(field_at<int32_t>(h, 92 + 4 * b), -1) << b;
    size_t entries = 92 + 4 * 61;
    for (unsigned i = 0; i < 32; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(field_at<int32_t>(h, entries + 396 * i), i == 31 ? -1 : static_cast<int32_t>(i + 1));
        EXPECT_EQ(h.substr(entries + 396 * i + 4, 392), std::string(392, '\0'));
    }
}

TEST_F(PhashTable, EnteredEntryIsLinkedAtItsBucketHead) {
    phash_table *t = open(1, 10);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(enter(t, 20, 0xAABBCCDD), 1);  // 20 mod 17 = bucket 3
    ASSERT_EQ(enter(t, 3, 0x11223344), 1);   // the same bucket, in front
    EXPECT_EQ(t->buckets[3], 1);
    uint8_t *second = phash_entry(t, 1);
    EXPECT_EQ(phash_next_of(second), 0);
    EXPECT_EQ(phash_in_use_of(t, second), 1);
    uint32_t key = 0, value = 0;
    std::memcpy(&key, phash_key_of(second), 4);
    std::memcpy(&value, phash_value_of(t, second), 4);
    EXPECT_EQ(key, 3u);
    EXPECT_EQ(value, 0x11223344u);
    EXPECT_EQ(phash_next_of(phash_entry(t, 0)), -1);
    EXPECT_EQ(t->header->free_head, 2);
    EXPECT_EQ(t->header->enters, 2u);
    uint32_t found = 0;
    EXPECT_TRUE(has(t, 20, &found));
    EXPECT_EQ(found, 0xAABBCCDDu);
    EXPECT_FALSE(has(t, 37));
    EXPECT_EQ(t->header->lookups, 2u);
    EXPECT_EQ(t->header->hits, 1u);
}

TEST_F(PhashTable, CapacityOneTakesOneKeyAndReplacesIt) {
    phash_table *t = open(1, 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->header->buckets, 7u);
    EXPECT_EQ(enter(t, 1, 10), 1);
    EXPECT_EQ(enter(t, 2, 20), 0);
    EXPECT_EQ(enter(t, 1, 11), 1);
    uint32_t value = 0;
    EXPECT_TRUE(has(t, 1, &value));
    EXPECT_EQ(value, 11u);
    EXPECT_FALSE(has(t, 2));
    EXPECT_EQ(t->header->enters, 1u);
    EXPECT_EQ(t->header->replaces, 1u);
    EXPECT_EQ(t->header->consistent, 1);
    EXPECT_EQ(phash_delete(t, &value), 0);  // 11 is no key
    uint32_t one = 1;
    EXPECT_EQ(phash_delete(t, &one), 1);
    EXPECT_EQ(enter(t, 2, 20), 1);
}

TEST_F(PhashTable, LargeCapacitiesShareTheLargestBucketCount) {
    for (unsigned capacity : {2054u, 10000u}) {
        SCOPED_TRACE(capacity);
        phash_table *t = open(capacity, capacity);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->header->buckets, 4093u);
        EXPECT_EQ(shmem_get_subarea_size(t->subarea), (capacity * 16 + 4093 * 4 + 92 + 7) / 8 * 8);
        for (uint32_t k = 0; k < capacity; k += 97) ASSERT_EQ(enter(t, k, k + 1), 1);
        uint32_t value = 0;
        EXPECT_TRUE(has(t, 97 * 5, &value));
        EXPECT_EQ(value, 97u * 5 + 1);
    }
}

TEST_F(PhashTable, ShortValueBufferGetsTheFirstBytesAndTheSize) {
    phash_table *t = open(1, 4);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(enter(t, 7, 0x44332211), 1);
    uint8_t buffer[6];
    std::memset(buffer, 0xCC, sizeof buffer);
    unsigned size = 2;
    uint32_t key = 7;
    EXPECT_EQ(phash_lookup(t, &key, buffer, &size), 0);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buffer[0], 0x11);
    EXPECT_EQ(buffer[1], 0x22);
    for (int i = 2; i < 6; ++i) EXPECT_EQ(buffer[i], 0xCC) << i;
    // A miss leaves size and buffer alone.
    key = 8;
    size = 2;
    EXPECT_EQ(phash_lookup(t, &key, buffer, &size), 0);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(buffer[2], 0xCC);
}

TEST_F(PhashTable, ShortValueIsZeroPadded) {
    phash_table *t = open(1, 4, PHASH_FLAG_GLOBAL, 4, 68);
    ASSERT_NE(t, nullptr);
    uint32_t key = 9;
    uint8_t full[68];
    std::memset(full, 0xCC, sizeof full);
    ASSERT_EQ(phash_enter(t, &key, full, sizeof full), 1);
    uint8_t two[2] = {0x5A, 0xA5};
    ASSERT_EQ(phash_enter(t, &key, two, sizeof two), 1);
    uint8_t out[70];
    std::memset(out, 0xEE, sizeof out);
    unsigned size = 68;
    ASSERT_EQ(phash_lookup(t, &key, out, &size), 1);
    EXPECT_EQ(out[0], 0x5A);
    EXPECT_EQ(out[1], 0xA5);
    for (int i = 2; i < 68; ++i) ASSERT_EQ(out[i], 0) << i;
    EXPECT_EQ(out[68], 0xEE);
    EXPECT_EQ(phash_enter(t, &key, full, 69), 0);  // longer than the field
}

TEST_F(PhashTable, DeleteUnlinksAndFreesTheEntry) {
    phash_table *t = open(1, 8);
    ASSERT_NE(t, nullptr);
    for (uint32_t k : {1u, 18u, 35u}) ASSERT_EQ(enter(t, k, k), 1);  // one chain: 35, 18, 1
    uint32_t middle = 18;
    EXPECT_EQ(phash_delete(t, &middle), 1);
    EXPECT_EQ(phash_delete(t, &middle), 0);
    EXPECT_FALSE(has(t, 18));
    EXPECT_TRUE(has(t, 1));
    EXPECT_TRUE(has(t, 35));
    EXPECT_EQ(t->header->free_head, 1);
    EXPECT_EQ(phash_in_use_of(t, phash_entry(t, 1)), 0);
    EXPECT_EQ(t->header->deletes, 1u);
    // The freed slot is taken next.
    ASSERT_EQ(enter(t, 52, 52), 1);
    EXPECT_EQ(t->buckets[52 % 17], 1);
}

TEST_F(PhashTable, ScanVisitsEntriesInIndexOrder) {
    phash_table *t = open(1, 16);
    ASSERT_NE(t, nullptr);
    unsigned *cursor = nullptr;
    uint32_t key = 0, value = 0;
    EXPECT_EQ(phash_next(t, &cursor, &key, 4, &value, 4), 0);
    EXPECT_EQ(cursor, nullptr);
    for (uint32_t k = 0; k < 10; ++k) ASSERT_EQ(enter(t, 100 - k, k), 1);  // slot k holds 100 - k
    for (uint32_t k = 0; k < 10; ++k) {
        uint32_t gone = 100 - k;
        if (k != 3 && k != 9) {
            ASSERT_EQ(phash_delete(t, &gone), 1);
        }
    }
    std::vector<uint32_t> seen;
    while (phash_next(t, &cursor, &key, 4, &value, 4)) {
        seen.push_back(key);
        EXPECT_EQ(value, 100 - key);
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{97, 91}));
    EXPECT_EQ(cursor, nullptr);
    // Ending early frees the cursor; short buffers get the first bytes.
    uint8_t small[2] = {0xCC, 0xCC};
    ASSERT_EQ(phash_next(t, &cursor, small, 1, nullptr, 0), 1);
    EXPECT_EQ(small[0], 97);
    EXPECT_EQ(small[1], 0xCC);
    EXPECT_NE(cursor, nullptr);
    phash_term_scan(&cursor);
    EXPECT_EQ(cursor, nullptr);
    phash_term_scan(&cursor);
}

TEST_F(PhashTable, FlushEmptiesTablesExceptThoseThatAskToBeKept) {
    phash_table *flushed = open(1, 8);
    phash_table *kept = open(2, 8, PHASH_FLAG_GLOBAL | PHASH_FLAG_NO_FLUSH);
    ASSERT_NE(flushed, nullptr);
    ASSERT_NE(kept, nullptr);
    ASSERT_EQ(enter(flushed, 1, 1), 1);
    ASSERT_EQ(enter(kept, 1, 1), 1);
    EXPECT_EQ(phash_flush_global_tables(), 1);
    EXPECT_FALSE(has(flushed, 1));
    EXPECT_TRUE(has(kept, 1));
    EXPECT_EQ(flushed->header->enters, 0u);
    EXPECT_EQ(flushed->header->lookups, 1u);
    EXPECT_EQ(kept->header->enters, 1u);
    // The flush wrote the area back to its file.
    std::string bytes = read_file(global_area_file());
    size_t table = field_at<uint32_t>(bytes, 24 + 16);  // the first sub-area's offset
    EXPECT_EQ(field_at<uint32_t>(bytes, table + 68), 0u);
}

TEST_F(PhashTable, StatisticsShowEachTableAndItsFill) {
    GUID uuid = test_uuid(1);
    phash_table *t = nullptr;
    ASSERT_EQ(phash_create(&uuid, 32, 4, 4, phash_int_hash_fn, phash_int_keycmp_fn, "Quarter", PHASH_FLAG_GLOBAL,
                           &t),
              1);
    tables_.push_back(t);
    for (uint32_t k = 0; k < 10; ++k) ASSERT_EQ(enter(t, k, k), 1);
    for (uint32_t k = 0; k < 2; ++k) ASSERT_EQ(phash_delete(t, &k), 1);
    ASSERT_EQ(enter(t, 5, 6), 1);
    EXPECT_TRUE(has(t, 5));
    testing::internal::CaptureStdout();
    phash_display_stats();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\n==========================================================\n"
                        "=====================  Global Cache  =====================\n"
                        "==========================================================\n\n"
                        "--------------------- Shared Memory Area Statistics ---------------------------\n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("\n------------------- Persistent Hash Table Statistics --------------------------\n"
                       "      Table Name       Lookups    Hits  Enters Replaces Deletes    Size    Used\n"
                       "Quarter                      1       1      10        1       2      32  25.00%\n"),
              std::string::npos)
        << out;
}

TEST_F(PhashTable, InitOpensTheFourIdentityCachesInOrder) {
    nt_init();
    ASSERT_NE(nt_global_account_sid_cache, nullptr);
    ASSERT_NE(nt_sid_uid_cache, nullptr);
    ASSERT_NE(nt_domain_group_sid_cache, nullptr);
    ASSERT_NE(nt_private_account_sid_cache, nullptr);
    struct Row {
        phash_table *table;
        const char *name;
        uint32_t capacity, key_size, value_size, buckets, entry_size, subarea_size, flags;
    } rows[] = {
        {nt_global_account_sid_cache, "Account name->Sid", 32, 322, 68, 61, 396, 13008, 1},
        {nt_sid_uid_cache, "Sid->Uid", 100, 68, 4, 127, 80, 8600, 1},
        {nt_domain_group_sid_cache, "Domain group SID map", 200, 68, 68, 257, 144, 29920, 0},
        {nt_private_account_sid_cache, "Account name->Sid", 32, 322, 68, 61, 396, 13008, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const phash_header *h = row.table->header;
        EXPECT_STREQ(h->name, row.name);
        EXPECT_EQ(h->capacity, row.capacity);
        EXPECT_EQ(h->key_size, row.key_size);
        EXPECT_EQ(h->value_size, row.value_size);
        EXPECT_EQ(h->buckets, row.buckets);
        EXPECT_EQ(h->entry_size, row.entry_size);
        EXPECT_EQ(shmem_get_subarea_size(row.table->subarea), row.subarea_size);
    }
    EXPECT_EQ(nt_global_account_sid_cache->header->flags, 1u);
    EXPECT_EQ(nt_sid_uid_cache->header->flags, 1u);
    shmem_area *global = phash_area(true);
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(global->view->directory[0].uuid.Data1, 0xC7534560u);
    EXPECT_EQ(global->view->directory[1].uuid.Data1, 0xA461E5E0u);
    if (phash_area(false) == global) {
        // LocalSystem: both account-name handles open the same table.
        EXPECT_EQ(nt_private_account_sid_cache->header, nt_global_account_sid_cache->header);
        EXPECT_EQ(global->view->directory[2].uuid.Data1, 0x816DE080u);
        EXPECT_EQ(global->view->subarea_count, 3);
    }
    // A second call opens nothing more.
    phash_table *before = nt_sid_uid_cache;
    nt_init();
    EXPECT_EQ(nt_sid_uid_cache, before);
}

TEST_F(PhashTable, InconsistentTableIsEmptiedWithZeroCounters) {
    phash_table *t = open(1, 8);
    ASSERT_NE(t, nullptr);
    for (uint32_t k = 0; k < 5; ++k) ASSERT_EQ(enter(t, k, k), 1);
    t->header->consistent = 0;
    EXPECT_FALSE(has(t, 1));
    EXPECT_EQ(t->header->consistent, 1);
    EXPECT_EQ(t->header->enters, 0u);
    EXPECT_EQ(t->header->lookups, 1u);  // this look-up, after the reset
    EXPECT_EQ(t->header->free_head, 0);
    EXPECT_EQ(enter(t, 1, 1), 1);
}

// Damage of every kind: the next operation finds the table empty and
// usable, and nothing outside the sub-area is touched (ASan builds check).
TEST_F(PhashTable, DamagedChainsAndHeadersAreResetNotFollowed) {
    struct Row {
        const char *what;
        void (*damage)(phash_table *);
    } rows[] = {
        {"bucket head past the capacity", [](phash_table *t) { t->buckets[1] = 1000000; }},
        {"negative bucket head", [](phash_table *t) { t->buckets[1] = -7; }},
        {"chain loop", [](phash_table *t) { phash_next_of(phash_entry(t, 0)) = 0; }},
        {"free entry in a chain", [](phash_table *t) { phash_in_use_of(t, phash_entry(t, 0)) = 0; }},
        {"free head past the capacity", [](phash_table *t) { t->header->free_head = 99999; }},
        {"capacity changed", [](phash_table *t) { t->header->capacity = 0x7FFFFFFF; }},
        {"bucket count zeroed", [](phash_table *t) { t->header->buckets = 0; }},
        {"tail magic gone", [](phash_table *t) { t->header->tail_magic[0] = 'x'; }},
    };
    unsigned n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        phash_table *t = open(++n, 8);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(enter(t, 1, 10), 1);  // slot 0, bucket 1
        ASSERT_EQ(enter(t, 2, 20), 1);
        row.damage(t);
        uint32_t key = 18, value = 0;  // absent, and in the damaged chain's bucket
        unsigned size = sizeof value;
        EXPECT_EQ(phash_lookup(t, &key, &value, &size), 0);
        if (!phash_has_magics(t->header)) {
            EXPECT_EQ(enter(t, 3, 30), 0);  // no table there any more
            continue;
        }
        EXPECT_EQ(t->header->consistent, 1);
        EXPECT_EQ(t->header->capacity, 8u);
        EXPECT_EQ(t->header->buckets, 17u);
        EXPECT_EQ(enter(t, 3, 30), 1);
        EXPECT_TRUE(has(t, 3));
        EXPECT_EQ(t->header->enters, 1u);
        EXPECT_FALSE(has(t, 1));
    }
}

TEST_F(PhashTable, ReopeningAuditsListsAndCounts) {
    struct Row {
        const char *what;
        void (*damage)(phash_table *);
        bool emptied;
    } rows[] = {
        {"intact", [](phash_table *) {}, false},
        {"counts that do not add up", [](phash_table *t) { t->header->enters = 7; }, true},
        {"free list cut short", [](phash_table *t) { phash_next_of(phash_entry(t, 2)) = -1; }, true},
        {"entry in two chains", [](phash_table *t) { t->buckets[3] = 1; }, true},
    };
    unsigned n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        phash_table *t = open(++n, 8);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(enter(t, 1, 10), 1);
        ASSERT_EQ(enter(t, 2, 20), 1);
        row.damage(t);
        phash_table *again = open(n, 8);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->header, t->header);
        EXPECT_EQ(has(again, 2), !row.emptied);
    }
}

// A caller's functions that count their calls and throw on demand.
struct Thrown {};
int hash_calls = 0;
bool hash_throws = false, compare_throws = false;
unsigned counting_hash(const void *key) {
    ++hash_calls;
    if (hash_throws) throw Thrown{};
    return phash_int_hash_fn(key);
}
int throwing_compare(const void *a, const void *b) {
    if (compare_throws) throw Thrown{};
    return phash_int_keycmp_fn(a, b);
}

TEST_F(PhashTable, ReopeningDoesNotAskTheCallersHash) {
    GUID uuid = test_uuid(1);
    phash_table *t = nullptr;
    ASSERT_EQ(phash_create(&uuid, 8, 4, 4, counting_hash, throwing_compare, "counted", 1, &t), 1);
    tables_.push_back(t);
    ASSERT_EQ(enter(t, 1, 10), 1);
    hash_calls = 0;
    phash_table *again = nullptr;
    ASSERT_EQ(phash_create(&uuid, 8, 4, 4, counting_hash, throwing_compare, "counted", 1, &again), 1);
    tables_.push_back(again);
    EXPECT_EQ(hash_calls, 0);
    EXPECT_TRUE(has(again, 1));
}

// An exception from the caller's hash or compare reaches the caller, and the
// area lock is free for another thread at once: a change that had begun
// leaves the table to be emptied by the next locker, a read leaves it as it was.
TEST_F(PhashTable, ExceptionFromTheCallersFunctionsReleasesTheLock) {
    struct Row {
        const char *what;
        bool throw_in_hash;
        int (*operation)(phash_table *);
        bool kept;  // the entries survive
    } rows[] = {
        {"look-up, compare", false, [](phash_table *t) { return has(t, 1) ? 1 : 0; }, true},
        {"look-up, hash", true, [](phash_table *t) { return has(t, 1) ? 1 : 0; }, true},
        {"enter, compare", false, [](phash_table *t) { return enter(t, 1, 11); }, false},
        {"enter, hash", true, [](phash_table *t) { return enter(t, 1, 11); }, true},
        {"delete, compare", false, [](phash_table *t) { uint32_t key = 1; return phash_delete(t, &key); }, true},
    };
    DWORD saved_wait = shmem_lock_wait_ms;
    shmem_lock_wait_ms = 200;
    unsigned n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        GUID uuid = test_uuid(++n);
        phash_table *t = nullptr;
        ASSERT_EQ(phash_create(&uuid, 8, 4, 4, counting_hash, throwing_compare, "throwing", 1, &t), 1);
        tables_.push_back(t);
        ASSERT_EQ(enter(t, 1, 10), 1);
        ASSERT_EQ(enter(t, 2, 20), 1);
        (row.throw_in_hash ? hash_throws : compare_throws) = true;
        EXPECT_THROW(row.operation(t), Thrown);
        hash_throws = compare_throws = false;
        int locked = 0;
        std::thread([&] {
            locked = shmem_lock_mutex(t->subarea);
            if (locked) shmem_unlock_mutex(t->subarea);
        }).join();
        EXPECT_EQ(locked, 1);
        EXPECT_EQ(t->header->consistent, row.kept ? 1 : 0);
        uint32_t value = 0;
        EXPECT_EQ(has(t, 2, &value), row.kept);
        EXPECT_EQ(t->header->consistent, 1);
    }
    shmem_lock_wait_ms = saved_wait;
}

TEST_F(PhashTable, ASubAreaWithABucketCountAndNoMagicsIsLeftAlone) {
    phash_table *t = open(77, 8);
    ASSERT_NE(t, nullptr);
    std::memcpy(t->header->head_magic, "none", 4);
    std::memcpy(t->header->tail_magic, "none", 4);
    std::string before(reinterpret_cast<const char *>(t->header), kPhashHeaderSize);
    GUID uuid = test_uuid(77);
    phash_table *again = reinterpret_cast<phash_table *>(0xdeadbeef);
    EXPECT_EQ(phash_create(&uuid, 8, 4, 4, phash_int_hash_fn, phash_int_keycmp_fn, "x", PHASH_FLAG_GLOBAL, &again), 0);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(t->header), kPhashHeaderSize), before);
}

TEST_F(PhashTable, ExistingTableOfAnotherShapeIsRefused) {
    ASSERT_NE(open(1, 8), nullptr);
    GUID uuid = test_uuid(1);
    phash_table *t = reinterpret_cast<phash_table *>(0xdeadbeef);
    // The same sub-area size, other key and value sizes.
    EXPECT_EQ(phash_create(&uuid, 8, 8, 0, phash_int_hash_fn, phash_int_keycmp_fn, "x", 1, &t), 0);
    EXPECT_EQ(t, nullptr);
    // Another capacity needs another size: the area refuses it.
    EXPECT_EQ(phash_create(&uuid, 9, 4, 4, phash_int_hash_fn, phash_int_keycmp_fn, "x", 1, &t), 0);
}

TEST_F(PhashTable, LockBracketsSeveralOperations) {
    phash_table *t = open(1, 8);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(phash_lock(t), 1);
    EXPECT_EQ(enter(t, 1, 1), 1);
    EXPECT_TRUE(has(t, 1));
    EXPECT_EQ(phash_unlock(t), 1);
    EXPECT_EQ(phash_unlock(t), 0);
    EXPECT_EQ(phash_lock(nullptr), 0);
    EXPECT_EQ(phash_close(nullptr), 0);
    uint32_t key = 1, value = 0;
    unsigned size = 4;
    EXPECT_EQ(phash_lookup(nullptr, &key, &value, &size), 0);
    EXPECT_EQ(phash_enter(nullptr, &key, &value, 4), 0);
    EXPECT_EQ(phash_delete(nullptr, &key), 0);
    unsigned *cursor = nullptr;
    EXPECT_EQ(phash_next(nullptr, &cursor, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(cursor, nullptr);
}

}  // namespace
}  // namespace quarn::test
