// LoadLibraryExA for the modules this host has: "netmsg.dll" and "ntdll.dll",
// whose only use here is their message tables.  Names compare without case
// and with or without a directory, as the loader's search would find them.
#include "kernel32/module.h"

#include <strings.h>

#include <cstring>

struct quarn_hmodule {
    const char *name;
    const char *path;
    std::span<const quarn::win32::MessageEntry> (*messages)();
};

namespace quarn::win32 {
namespace {

quarn_hmodule kModules[] = {
    {"netmsg.dll", "C:\\Windows\\System32\\netmsg.dll", netmsg_message_table},
    {"ntdll.dll", "C:\\Windows\\System32\\ntdll.dll", ntstatus_message_table},
};

const quarn_hmodule *known(HMODULE module) {
    for (auto &m : kModules)
        if (&m == module) return &m;
    return nullptr;
}

}  // namespace

const char *module_path(HMODULE module) {
    const auto *m = known(module);
    return m ? m->path : nullptr;
}

std::span<const MessageEntry> module_messages(HMODULE module) {
    const auto *m = known(module);
    return m ? m->messages() : std::span<const MessageEntry>();
}

}  // namespace quarn::win32

extern "C" HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD flags) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const char *base = name;
    for (const char *p = name; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    if (!(flags & LOAD_LIBRARY_AS_DATAFILE)) {
        // Only data files: the layer runs no Windows code.
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    for (auto &m : quarn::win32::kModules) {
        size_t n = std::strlen(m.name);
        bool with_extension = strcasecmp(base, m.name) == 0;
        bool without_extension = std::strlen(base) == n - 4 && strncasecmp(base, m.name, n - 4) == 0;
        if (with_extension || without_extension) return &m;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

extern "C" BOOL FreeLibrary(HMODULE module) {
    if (!quarn::win32::module_path(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;  // built-in modules stay loaded
}
