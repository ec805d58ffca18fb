// Per-application values of the user: a key named after the application
// under the common key, and the window geometry kept there.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "registry/ntregy_internal.h"

namespace {

// The application's key path in a new buffer (freed by the caller), or null.
char *application_path(const char *application) {
    const char *common = ntregy_get_common_key();
    size_t size = std::strlen(common) + 1 + std::strlen(application) + 1;
    auto *path = static_cast<char *>(std::malloc(size));
    if (path) std::snprintf(path, size, "%s\\%s", common, application);
    return path;
}

// A list's bytes: every string with its NUL, the first even when empty, and one more NUL.
DWORD list_length(const char *list) {
    size_t total = 0;
    const char *p = list;
    do {
        size_t length = std::strlen(p);
        total += length + 1;
        p += length + 1;
    } while (*p);
    return static_cast<DWORD>(total + 1);
}

}  // namespace

extern "C" {

NT_API LONG ntregy_get_app_param(const char *application, const char *name, DWORD size, void *buffer,
                                 const char *machine) {
    if (!application) return ERROR_INVALID_PARAMETER;
    quarn::nt::RegistryRoot root(machine, HKEY_CURRENT_USER);
    if (root.status() != ERROR_SUCCESS) return root.status();
    char *path = application_path(application);
    if (!path) return ERROR_NOT_ENOUGH_MEMORY;
    HKEY key = nullptr;
    LONG status = ntregy_get_value(root.key(), path, name, buffer, size, &key);
    quarn::nt::close_handed_key(key);
    std::free(path);
    return status;
}

NT_API LONG ntregy_set_app_param(const char *application, const char *name, DWORD type, const void *data,
                                 const char *machine) {
    if (!application || !data) return ERROR_INVALID_PARAMETER;
    DWORD length;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: length = static_cast<DWORD>(std::strlen(static_cast<const char *>(data)) + 1); break;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: length = sizeof(DWORD); break;
    case REG_MULTI_SZ: length = list_length(static_cast<const char *>(data)); break;
    default: return ERROR_INVALID_PARAMETER;
    }
    quarn::nt::RegistryRoot root(machine, HKEY_CURRENT_USER);
    if (root.status() != ERROR_SUCCESS) return root.status();
    char *path = application_path(application);
    if (!path) return ERROR_NOT_ENOUGH_MEMORY;
    HKEY key = nullptr;
    LONG status = ntregy_create_value(root.key(), path, name, data, length, type, &key);
    quarn::nt::close_handed_key(key);
    std::free(path);
    return status;
}

NT_API LONG ntregy_set_app_geometry(const char *application, LONG x, LONG y, LONG width, LONG height,
                                    const char *machine) {
    char text[64];
    std::snprintf(text, sizeof text, "%ld %ld %ld %ld", static_cast<long>(x), static_cast<long>(y),
                  static_cast<long>(width), static_cast<long>(height));
    return ntregy_set_app_param(application, "Geometry", REG_SZ, text, machine);
}

NT_API LONG ntregy_get_app_geometry(const char *application, LONG *x, LONG *y, LONG *width, LONG *height,
                                    const char *machine) {
    if (!x || !y || !width || !height) return ERROR_INVALID_PARAMETER;
    char text[51] = {};  // 50 bytes are read; the last one always terminates
    LONG status = ntregy_get_app_param(application, "Geometry", 50, text, machine);
    if (status != ERROR_SUCCESS) return status;
    long numbers[4];
    int parsed = std::sscanf(text, "%ld %ld %ld %ld", &numbers[0], &numbers[1], &numbers[2], &numbers[3]);
    LONG *outputs[4] = {x, y, width, height};
    for (int i = 0; i < parsed && i < 4; ++i) *outputs[i] = static_cast<LONG>(numbers[i]);
    return parsed == 4 ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

}  // extern "C"
