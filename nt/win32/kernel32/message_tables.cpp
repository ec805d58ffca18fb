// Look-up in a message table: the tables are sorted by id, so a binary search.
#include "kernel32/message_tables.h"

#include <algorithm>

namespace quarn::win32 {

const char *find_message(std::span<const MessageEntry> table, uint32_t id) {
    auto it = std::lower_bound(table.begin(), table.end(), id,
                               [](const MessageEntry &entry, uint32_t value) { return entry.id < value; });
    return it != table.end() && it->id == id ? it->text : nullptr;
}

}  // namespace quarn::win32
