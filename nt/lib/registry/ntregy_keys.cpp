// Keys and values under a root: the path rule (leading backslashes are
// skipped), writes that create the missing keys of their path, and the
// open key handed back to the caller.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "registry/ntregy_internal.h"

namespace quarn::nt {

RegistryRoot::RegistryRoot(const char *machine, HKEY root) : key_(root) {
    if (!machine) return;
    status_ = ntregy_connect_remote(machine, root, &key_);
    connected_ = status_ == ERROR_SUCCESS;
}

RegistryRoot::~RegistryRoot() {
    if (connected_) ntregy_close_key(key_);
}

}  // namespace quarn::nt

namespace {

const char *skip_backslashes(const char *path) {
    while (*path == '\\') ++path;
    return path;
}

// The components of a path, empty ones dropped.  Our ANSI code page is
// UTF-8, where no trail byte equals a backslash, so a byte-wise split never
// cuts a name apart.
std::vector<std::string> components_of(const char *path) {
    std::vector<std::string> parts;
    std::string current;
    for (const char *p = path; *p; ++p) {
        if (*p != '\\') {
            current += *p;
        } else if (!current.empty()) {
            parts.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty()) parts.push_back(std::move(current));
    return parts;
}

}  // namespace

extern "C" {

NT_API LONG ntregy_close_key(HKEY key) { return RegCloseKey(key); }

NT_API LONG ntregy_connect_remote(const char *machine, HKEY root, HKEY *key) {
    return RegConnectRegistryA(machine, root, key);
}

NT_API LONG ntregy_get_handle(HKEY root, const char *path, REGSAM access, HKEY *key) {
    if (!path) return ERROR_INVALID_PARAMETER;
    return RegOpenKeyExA(root, skip_backslashes(path), 0, access, key);
}

NT_API LONG ntregy_get_value(HKEY root, const char *path, const char *name, void *data, DWORD length, HKEY *key) {
    if (!key) return ERROR_INVALID_PARAMETER;
    *key = nullptr;
    if (!path) return ERROR_INVALID_PARAMETER;
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExA(root, skip_backslashes(path), 0, KEY_READ, &opened);
    if (status != ERROR_SUCCESS) return status;
    if (data) {
        DWORD type = REG_NONE;
        status = RegQueryValueExA(opened, name, nullptr, &type, static_cast<BYTE *>(data), &length);
        if (status != ERROR_SUCCESS) {
            RegCloseKey(opened);
            return status;
        }
        // The caller's buffer holds one byte more than it passes for lists.
        if (type == REG_MULTI_SZ) static_cast<char *>(data)[length] = '\0';
    }
    *key = opened;
    return ERROR_SUCCESS;
}

NT_API LONG ntregy_create_value(HKEY root, const char *path, const char *name, const void *data, DWORD length,
                                DWORD type, HKEY *key) {
    if (!key) return ERROR_INVALID_PARAMETER;
    *key = nullptr;
    if (!path) return ERROR_INVALID_PARAMETER;
    std::vector<std::string> parts = components_of(path);
    HKEY current = root;
    auto close_current = [&] {
        if (current != root) RegCloseKey(current);
    };
    size_t depth = 0;
    for (; depth < parts.size(); ++depth) {
        HKEY child = nullptr;
        LONG status = RegOpenKeyExA(current, parts[depth].c_str(), 0, KEY_READ, &child);
        if (status == ERROR_FILE_NOT_FOUND) break;
        if (status != ERROR_SUCCESS) {
            close_current();
            return status;
        }
        close_current();
        current = child;
    }
    LONG status = ERROR_SUCCESS;
    if (depth < parts.size()) {
        for (; depth < parts.size() && status == ERROR_SUCCESS; ++depth) {
            HKEY child = nullptr;
            char no_class[] = "";
            status = RegCreateKeyExA(current, parts[depth].c_str(), 0, no_class, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                     nullptr, &child, nullptr);
            close_current();
            current = status == ERROR_SUCCESS ? child : root;
        }
    } else if (!parts.empty()) {
        HKEY writable = nullptr;
        status = RegOpenKeyExA(current, "", 0, KEY_WRITE, &writable);
        close_current();
        current = status == ERROR_SUCCESS ? writable : root;
    }
    if (status == ERROR_SUCCESS)
        status = RegSetValueExA(current, name, 0, type, static_cast<const BYTE *>(data), length);
    // A value that could not be set is a failure, and the key is not handed back.
    if (status != ERROR_SUCCESS) {
        close_current();
        return status;
    }
    *key = current;
    return ERROR_SUCCESS;
}

NT_API LONG ntregy_del_value(HKEY root, const char *path, const char *name) {
    if (!path) return ERROR_INVALID_PARAMETER;
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, skip_backslashes(path), 0, KEY_WRITE, &key);
    if (status != ERROR_SUCCESS) return status;
    status = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return status;
}

NT_API LONG ntregy_del_key(HKEY root, const char *path) {
    if (!path) return ERROR_INVALID_PARAMETER;
    std::string copy(path);
    size_t cut = copy.rfind('\\');
    if (cut == std::string::npos) return RegDeleteKeyA(root, copy.c_str());
    std::string parent = copy.substr(0, cut);
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, skip_backslashes(parent.c_str()), 0, KEY_WRITE, &key);
    if (status != ERROR_SUCCESS) return status;
    status = RegDeleteKeyA(key, copy.c_str() + cut + 1);
    RegCloseKey(key);
    return status;
}

NT_API LONG ntregy_enum_subkeys(HKEY key, DWORD index, char *name, DWORD *name_length) {
    FILETIME ignored;
    return RegEnumKeyExA(key, index, name, name_length, nullptr, nullptr, nullptr, &ignored);
}

NT_API LONG ntregy_enum_value(HKEY key, DWORD index, char *name, DWORD *name_length, DWORD *type, void *data,
                              DWORD *data_length) {
    LONG status = RegEnumValueA(key, index, name, name_length, nullptr, type, static_cast<BYTE *>(data), data_length);
    if (status == ERROR_SUCCESS) {
        name[*name_length] = '\0';
        if (data && data_length) static_cast<char *>(data)[*data_length] = '\0';
    }
    return status;
}

}  // extern "C"
