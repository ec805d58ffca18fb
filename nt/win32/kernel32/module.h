// Modules the layer can load as data files: the message-table DLLs.
#pragma once

#include <span>

#include "kernel32/message_tables.h"
#include "winbase.h"

namespace quarn::win32 {

// The Windows path of a module handle from LoadLibraryExA, or null.
const char *module_path(HMODULE module);

// The message table of a module handle, or an empty span for an unknown handle.
std::span<const MessageEntry> module_messages(HMODULE module);

}  // namespace quarn::win32
