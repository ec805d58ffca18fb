// The message tables behind FormatMessageA: the system table, "netmsg.dll"
// (network management, 2100-2999) and "ntdll.dll" (NT status codes).
// Each text is one sentence of our own, ending in CR LF as the platform's do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quarn::win32 {

struct MessageEntry {
    uint32_t id;
    const char *text;
};

// Each table is sorted by id, strictly increasing, so a lookup is a binary search.
std::span<const MessageEntry> system_message_table();
std::span<const MessageEntry> netmsg_message_table();
std::span<const MessageEntry> ntstatus_message_table();

// The text of `id` in `table`, or nullptr.
const char *find_message(std::span<const MessageEntry> table, uint32_t id);

}  // namespace quarn::win32
