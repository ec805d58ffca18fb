// hash_str_*: string-keyed tables of pointer slots. The map owns copies of its
// keys, and its nodes never move, so slot addresses stay valid while it lives.
#include <string>
#include <unordered_map>

#include "ks.h"

struct hash_str_table {
    std::unordered_map<std::string, void *> slots;
};

extern "C" hash_str_t hash_str_create(int size_hint, int, int) {
    auto *table = new hash_str_table;
    if (size_hint > 0) table->slots.reserve(static_cast<size_t>(size_hint));
    return table;
}

extern "C" int hash_str_lookup(hash_str_t table, const char *key, void **, void ***slot) {
    if (!table || !key) return 0;
    auto found = table->slots.find(key);
    if (found == table->slots.end()) return 0;
    if (slot) *slot = &found->second;
    return 1;
}

extern "C" int hash_str_enter(hash_str_t table, const char *key, void **, void ***slot) {
    if (!table || !key) return 0;
    auto [entry, added] = table->slots.try_emplace(key, nullptr);
    if (slot) *slot = &entry->second;
    return added ? 1 : 0;
}
