// Modules: the layer's own (the message-table DLLs and the debugging-help
// library) and shared objects loaded with the platform's loader.
#pragma once

#include <span>
#include <string>

#include "kernel32/message_tables.h"
#include "winbase.h"

namespace quarn::win32 {

// The Windows path of a module handle from LoadLibraryA or LoadLibraryExA,
// or "" for a handle that names no loaded module.
std::string module_path(HMODULE module);

// The message table of a module handle, or an empty span for a module without one.
std::span<const MessageEntry> module_messages(HMODULE module);

// An entry point of a built-in module.
struct ModuleExport {
    const char *name;
    FARPROC address;
};

// The entry points of the built-in "dbghelp.dll".
std::span<const ModuleExport> dbghelp_exports();

}  // namespace quarn::win32
