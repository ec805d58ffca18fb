// Modules.  The layer has three of its own: "netmsg.dll" and "ntdll.dll",
// whose only use here is their message tables (they load as data files
// only), and "dbghelp.dll", whose dump
// writer is built in.  Any other module is a shared object, loaded with the
// platform's loader (dlopen) from a path or from the search: the program's
// directory, the built-in modules (the system directory), then the directory
// of SetDllDirectoryA or, by default, the current directory.  Names compare
// without case, with or without ".dll".
#include "kernel32/module.h"

#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "kernel32/file_object.h"
#include "machine/dos_paths.h"

struct quarn_hmodule {
    const char *name;
    const char *path;
    std::span<const quarn::win32::MessageEntry> (*messages)();
    std::span<const quarn::win32::ModuleExport> (*exports)();
};

namespace quarn::win32 {
namespace {

std::span<const MessageEntry> no_messages() { return {}; }
std::span<const ModuleExport> no_exports() { return {}; }

quarn_hmodule kModules[] = {
    {"netmsg.dll", "C:\\Windows\\System32\\netmsg.dll", netmsg_message_table, no_exports},
    {"ntdll.dll", "C:\\Windows\\System32\\ntdll.dll", ntstatus_message_table, no_exports},
    {"dbghelp.dll", "C:\\Windows\\System32\\dbghelp.dll", no_messages, dbghelp_exports},
};

// Shared objects from dlopen, with the count of loads not yet freed.
std::mutex loaded_mutex;
std::map<void *, int> loaded;
std::optional<std::string> dll_directory;  // SetDllDirectoryA's; "" removes the current directory

const quarn_hmodule *built_in(HMODULE module) {
    for (auto &m : kModules)
        if (&m == module) return &m;
    return nullptr;
}

quarn_hmodule *built_in_named(const char *base) {
    for (auto &m : kModules) {
        size_t n = std::strlen(m.name);
        bool with_extension = strcasecmp(base, m.name) == 0;
        bool without_extension = std::strlen(base) == n - 4 && strncasecmp(base, m.name, n - 4) == 0;
        if (with_extension || without_extension) return &m;
    }
    return nullptr;
}

bool is_loaded(void *handle) {
    std::lock_guard lock(loaded_mutex);
    return loaded.count(handle) != 0;
}

const char *base_name(const char *path) {
    const char *base = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    return base;
}

// dlopen of a Unix path; null with the Windows error when it is no module.
HMODULE load_shared_object(const std::string &unix_path) {
    if (::access(unix_path.c_str(), F_OK) != 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void *handle = dlopen(unix_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    std::lock_guard lock(loaded_mutex);
    ++loaded[handle];
    return static_cast<HMODULE>(handle);
}

// The directory of a Unix path with its final slash, or "".
std::string directory_of(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string module_path(HMODULE module) {
    if (const auto *m = built_in(module)) return m->path;
    if (!module || !is_loaded(module)) return {};
    link_map *map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    const Machine *machine = Machine::current();
    auto dos = machine ? unix_to_dos_path(*machine, map->l_name) : std::nullopt;
    return dos ? *dos : std::string(map->l_name);
}

std::span<const MessageEntry> module_messages(HMODULE module) {
    const auto *m = built_in(module);
    return m ? m->messages() : std::span<const MessageEntry>();
}

}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD flags) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!(flags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE))) return LoadLibraryA(name);
    // Data files: only the message modules have data to give.
    if (quarn_hmodule *m = built_in_named(base_name(name)); m && !m->messages().empty()) return m;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HMODULE LoadLibraryA(LPCSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const char *base = base_name(name);
    if (base != name) return load_shared_object(unix_path_of(name));
    char program[4096];
    ssize_t n = readlink("/proc/self/exe", program, sizeof program - 1);
    if (n > 0) {
        program[n] = 0;
        std::string candidate = directory_of(program) + base;
        if (::access(candidate.c_str(), F_OK) == 0) return load_shared_object(candidate);
    }
    if (quarn_hmodule *m = built_in_named(base)) {
        if (!m->exports().empty()) return m;
        SetLastError(ERROR_BAD_EXE_FORMAT);  // the message modules are data files only
        return nullptr;
    }
    std::optional<std::string> directory;
    {
        std::lock_guard lock(loaded_mutex);
        directory = dll_directory;
    }
    if (directory && directory->empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string folder = directory ? unix_path_of(directory->c_str()) + "/" : std::string("./");
    return load_shared_object(folder + base);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (const auto *m = built_in(module)) {
        for (const auto &e : m->exports())
            if (std::strcmp(e.name, name) == 0) return e.address;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (!module || !is_loaded(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void *symbol = dlsym(module, name);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL SetDllDirectoryA(LPCSTR directory) {
    std::lock_guard lock(loaded_mutex);
    if (directory) dll_directory = directory;
    else dll_directory.reset();
    return TRUE;
}

BOOL FreeLibrary(HMODULE module) {
    if (built_in(module)) return TRUE;  // built-in modules stay loaded
    {
        std::lock_guard lock(loaded_mutex);
        auto it = loaded.find(module);
        if (!module || it == loaded.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--it->second == 0) loaded.erase(it);
    }
    dlclose(module);
    return TRUE;
}

}  // extern "C"
