// The registry calls: key handles with the access they were opened with,
// paths under a root, typed values, enumeration and key facts, connections
// to other machines.  The store underneath is registry_store.cpp.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "advapi.h"
#include "kernel32/kernel_object.h"
#include "advapi32/registry_names.h"
#include "advapi32/registry_roots.h"
#include "advapi32/registry_store.h"
#include "winerror.h"
#include "winreg.h"

namespace quarn::win32::registry {
namespace {

constexpr REGSAM GENERIC_READ_ACCESS = 0x80000000u;
constexpr REGSAM GENERIC_WRITE_ACCESS = 0x40000000u;
constexpr REGSAM GENERIC_EXECUTE_ACCESS = 0x20000000u;
constexpr REGSAM GENERIC_ALL_ACCESS = 0x10000000u;
constexpr REGSAM WRITE_DAC_ACCESS = 0x00040000u;
constexpr REGSAM WRITE_OWNER_ACCESS = 0x00080000u;
constexpr REGSAM kWritingAccess =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC_ACCESS | WRITE_OWNER_ACCESS;
constexpr DWORD REG_OPTION_OPEN_LINK = 0x0008;

// An open key.  The enumeration cursors let a walk by increasing index
// continue from the previous entry instead of counting from the first.
class KeyObject final : public KernelObject {
public:
    KeyObject(std::shared_ptr<Hive> hive, KeyId id, std::string path, size_t depth, REGSAM access)
        : hive(std::move(hive)), id(id), path(std::move(path)), depth(depth), access(access) {}
    const std::shared_ptr<Hive> hive;
    const KeyId id;
    const std::string path;  // folded
    const size_t depth;
    const REGSAM access;

    std::mutex cursor_mutex;
    DWORD subkey_index = ~0u;
    std::string subkey_path;
    DWORD value_index = ~0u;
    int64_t value_seq = 0;
};

// A key as an operation sees it: an open key, or a predefined root.
struct Key {
    std::shared_ptr<Hive> hive;
    KeyId id = kRootKey;
    std::string path;
    size_t depth = 0;
    REGSAM access = KEY_ALL_ACCESS;
    KeyObject *object = nullptr;
    bool predefined = false;
};

bool is_predefined(HKEY key) {
    auto value = reinterpret_cast<uintptr_t>(key);
    return value >= 0x80000000u && value <= 0x80000006u;
}

LONG resolve(HKEY handle, Key &key, std::shared_ptr<KeyObject> &holder) {
    LONG status = ERROR_SUCCESS;
    if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER) {
        key.hive = handle == HKEY_LOCAL_MACHINE ? local_machine_hive(status) : current_user_hive(status);
        key.predefined = true;
        return key.hive ? ERROR_SUCCESS : status;
    }
    if (is_predefined(handle)) return ERROR_INVALID_HANDLE;
    DWORD saved = GetLastError();
    holder = std::dynamic_pointer_cast<KeyObject>(object_from_handle(handle));
    SetLastError(saved);
    if (!holder) return ERROR_INVALID_HANDLE;
    key = {holder->hive, holder->id, holder->path, holder->depth, holder->access, holder.get(), false};
    return ERROR_SUCCESS;
}

// The key behind `handle` when the handle holds the right `needed`.
LONG resolve_for(HKEY handle, REGSAM needed, Key &key, std::shared_ptr<KeyObject> &holder) {
    LONG status = resolve(handle, key, holder);
    if (status != ERROR_SUCCESS) return status;
    return (key.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The rights a new handle gets for `wanted` on a hive, or ERROR_ACCESS_DENIED
// when it asks to change a hive this process may only read.
LONG grant(REGSAM wanted, const Hive &hive, REGSAM &granted) {
    REGSAM rights = wanted & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (rights & MAXIMUM_ALLOWED) rights = (rights & ~MAXIMUM_ALLOWED) | (hive.writable() ? KEY_ALL_ACCESS : KEY_READ);
    if (rights & GENERIC_READ_ACCESS) rights |= KEY_READ;
    if (rights & GENERIC_WRITE_ACCESS) rights |= KEY_WRITE;
    if (rights & GENERIC_EXECUTE_ACCESS) rights |= KEY_EXECUTE;
    if (rights & GENERIC_ALL_ACCESS) rights |= KEY_ALL_ACCESS;
    rights &= ~(GENERIC_READ_ACCESS | GENERIC_WRITE_ACCESS | GENERIC_EXECUTE_ACCESS | GENERIC_ALL_ACCESS);
    if ((rights & kWritingAccess) && !hive.writable()) return ERROR_ACCESS_DENIED;
    granted = rights;
    return ERROR_SUCCESS;
}

std::string child_path(const std::string &parent, std::string_view folded) {
    if (parent.empty()) return std::string(folded);
    std::string path;
    path.reserve(parent.size() + 1 + folded.size());
    path.append(parent).append(1, '\\').append(folded);
    return path;
}

HKEY new_handle(const Key &base, KeyId id, std::string path, size_t depth, REGSAM access) {
    auto object = std::make_shared<KeyObject>(base.hive, id, std::move(path), depth, access);
    return reinterpret_cast<HKEY>(make_handle(std::move(object)));
}

// A missing entry of an open key: the key itself may have been deleted meanwhile.
LONG missing(Transaction &t, const Key &key, LONG otherwise) {
    return key.id == kRootKey || t.key_exists(key.id) ? otherwise : ERROR_KEY_DELETED;
}

// Copies a name and its NUL into a character buffer of *length characters.
LONG copy_name(std::string_view name, LPSTR buffer, LPDWORD length) {
    if (name.size() + 1 > *length) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *length = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// The data rule of RegQueryValueEx: size only without a buffer, ERROR_MORE_DATA with the size needed.
LONG copy_data(const ValueView &value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type) *type = value.type;
    if (!size) return ERROR_SUCCESS;
    if (data) {
        if (*size < value.size) {
            *size = value.size;
            return ERROR_MORE_DATA;
        }
        if (value.size) std::memcpy(data, value.data, value.size);
    }
    *size = value.size;
    return ERROR_SUCCESS;
}

void store_filetime(int64_t ticks, PFILETIME time) {
    if (!time) return;
    time->dwLowDateTime = static_cast<DWORD>(ticks);
    time->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
}

// Creates whatever is missing of the keys `paths` (each the folded path of
// the same index of `parts`) below `key`; `id` is the last one's.
LONG create_path(Transaction &t, const Key &key, const std::vector<std::string_view> &parts,
                 const std::vector<std::string> &paths, std::string_view class_text, KeyId &id, bool &created) {
    if (key.id != kRootKey && !t.key_exists(key.id)) return ERROR_KEY_DELETED;
    int64_t now = filetime_now();
    KeyId parent = key.id;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (auto row = t.find_key(paths[i])) {
            parent = row->id;
            continue;
        }
        // A new subkey changes its parent's last-write time as well.
        KeyId child = t.insert_key(parent, parts[i], paths[i], class_text, now);
        t.stamp(parent, now);
        parent = child;
        created = true;
    }
    id = parent;
    return ERROR_SUCCESS;
}


// ---- the security mount ---------------------------------------------------------------

constexpr size_t kNoMount = ~size_t{0};

// How many of `parts` below `key` stay in the machine hive before the chain
// reaches the security mount (the mount's own part included), or kNoMount.
size_t parts_to_mount(const Key &key, const std::vector<std::string_view> &parts) {
    if (key.depth >= kSecurityMountDepth || !holds_security_mount(*key.hive)) return kNoMount;
    std::string path = key.path;
    for (size_t i = 0; i < parts.size() && i + key.depth < kSecurityMountDepth; ++i) {
        path = child_path(path, fold_name(parts[i]));
        if (path == kSecurityMountPath) return i + 1;
    }
    return kNoMount;
}

// Moves `key` to the root of the security hive, shown at the mount.
LONG mount_key(Key &key) {
    LONG status = ERROR_SUCCESS;
    auto hive = security_hive(status);
    if (!hive) return status;
    key = {std::move(hive), kRootKey, "", kSecurityMountDepth, key.access, nullptr, false};
    return ERROR_SUCCESS;
}

// The key at `parts` below `key`, made with every missing key on the way.
// Most calls find it there already; only a creation takes the write lock.
// As on Windows, creating under a key checks the hive's rights, not the
// rights of the handle it is named from.
LONG find_or_create(const Key &key, const std::vector<std::string_view> &parts, std::string_view class_text,
                    KeyId &id, bool &created) {
    std::vector<std::string> paths;
    std::string path = key.path;
    for (auto part : parts) paths.push_back(path = child_path(path, fold_name(part)));
    LONG status = key.hive->read([&](Transaction &t) -> LONG {
        if (!paths.empty()) {
            if (auto row = t.find_key(paths.back())) {
                id = row->id;
                return ERROR_SUCCESS;
            }
            return missing(t, key, ERROR_FILE_NOT_FOUND);
        }
        if (!t.key_exists(key.id)) return ERROR_KEY_DELETED;
        id = key.id;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_FILE_NOT_FOUND) return status;
    if (key.depth + parts.size() > REG_MAX_TREE_DEPTH) return ERROR_INVALID_PARAMETER;
    return key.hive->write(
        [&](Transaction &t) -> LONG { return create_path(t, key, parts, paths, class_text, id, created); });
}

// Routes `key` and `parts` into the security hive when the path reaches the
// mount: the keys down to the mount are the machine hive's (made on the way),
// the rest the security hive's.
LONG route_to_mount(Key &key, std::vector<std::string_view> &parts, std::string_view class_text, bool &created) {
    size_t mount = parts_to_mount(key, parts);
    if (mount == kNoMount) return ERROR_SUCCESS;
    std::vector<std::string_view> above(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(mount));
    KeyId placeholder = 0;
    LONG status = find_or_create(key, above, class_text, placeholder, created);
    if (status != ERROR_SUCCESS || (status = mount_key(key)) != ERROR_SUCCESS) return status;
    parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(mount));
    return ERROR_SUCCESS;
}

// A key's last-write time changes when a subkey of it goes.
void stamp_parent(Transaction &t, std::string_view path, int64_t now) {
    size_t cut = path.rfind('\\');
    if (auto parent = t.find_key(cut == std::string_view::npos ? std::string_view() : path.substr(0, cut)))
        t.stamp(parent->id, now);
}

LONG open_key(HKEY handle, LPCSTR subkey, REGSAM access, PHKEY result) {
    if (handle == HKEY_CLASSES_ROOT) {
        // The user's Software\Classes over the machine's, as Windows merges them.
        std::string path = "Software\\Classes";
        if (subkey && *subkey) path.append(1, '\\').append(subkey);
        LONG status = open_key(HKEY_CURRENT_USER, path.c_str(), access, result);
        return status == ERROR_SUCCESS ? status : open_key(HKEY_LOCAL_MACHINE, path.c_str(), access, result);
    }
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve(handle, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::string_view> parts;
    if ((status = split_key_path(subkey, parts)) != ERROR_SUCCESS) return status;
    if (size_t mount = parts_to_mount(key, parts); mount != kNoMount) {
        if ((status = mount_key(key)) != ERROR_SUCCESS) return status;
        parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(mount));
    }
    if (parts.empty() && key.predefined) {
        *result = handle;
        return ERROR_SUCCESS;
    }
    REGSAM granted = 0;
    if ((status = grant(access, *key.hive, granted)) != ERROR_SUCCESS) return status;
    std::string path = key.path;
    for (auto part : parts) path = child_path(path, fold_name(part));
    KeyId id = 0;
    status = key.hive->read([&](Transaction &t) -> LONG {
        if (parts.empty()) {
            if (!t.key_exists(key.id)) return ERROR_KEY_DELETED;
            id = key.id;
            return ERROR_SUCCESS;
        }
        auto row = t.find_key(path);
        if (!row) return missing(t, key, ERROR_FILE_NOT_FOUND);
        id = row->id;
        return ERROR_SUCCESS;
    });
    if (status == ERROR_SUCCESS) *result = new_handle(key, id, std::move(path), key.depth + parts.size(), granted);
    return status;
}

}  // namespace
}  // namespace quarn::win32::registry

using namespace quarn::win32::registry;

extern "C" {

LONG RegOpenKeyExA(HKEY handle, LPCSTR subkey, DWORD options, REGSAM access, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (options & ~REG_OPTION_OPEN_LINK) return ERROR_INVALID_PARAMETER;
    return open_key(handle, subkey, access, result);
}

LONG RegCreateKeyExA(HKEY handle, LPCSTR subkey, DWORD reserved, LPSTR class_name, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!subkey || reserved != 0 || (options & ~REG_OPTION_VOLATILE)) return ERROR_INVALID_PARAMETER;
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve(handle, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::string_view> parts;
    if ((status = split_key_path(subkey, parts)) != ERROR_SUCCESS) return status;
    if (parts.size() > REG_MAX_CREATE_LEVELS) return ERROR_INVALID_PARAMETER;
    std::string_view class_text = class_name ? class_name : "";
    bool created = false;
    if ((status = route_to_mount(key, parts, class_text, created)) != ERROR_SUCCESS) return status;
    REGSAM granted = 0;
    if ((status = grant(access, *key.hive, granted)) != ERROR_SUCCESS) return status;
    KeyId id = 0;
    status = find_or_create(key, parts, class_text, id, created);
    if (status != ERROR_SUCCESS) return status;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    if (parts.empty() && key.predefined) {
        *result = handle;
    } else {
        std::string path = key.path;
        for (auto part : parts) path = child_path(path, fold_name(part));
        *result = new_handle(key, id, std::move(path), key.depth + parts.size(), granted);
    }
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY handle) {
    if (is_predefined(handle)) return ERROR_SUCCESS;
    DWORD saved = GetLastError();
    bool is_key = std::dynamic_pointer_cast<KeyObject>(quarn::win32::object_from_handle(handle)) != nullptr;
    bool closed = is_key && quarn::win32::close_handle(handle);
    SetLastError(saved);
    return closed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExA(HKEY handle, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve_for(handle, KEY_QUERY_VALUE, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::string folded = fold_name(name ? name : "");
    return key.hive->read([&](Transaction &t) -> LONG {
        auto value = t.find_value(key.id, folded);
        if (!value) return missing(t, key, ERROR_FILE_NOT_FOUND);
        return copy_data(*value, type, data, size);
    });
}

LONG RegSetValueExA(HKEY handle, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size) {
    if (reserved != 0 || (!data && size)) return ERROR_INVALID_PARAMETER;
    std::string_view value_name = name ? name : "";
    if (name_units(value_name) > REG_MAX_VALUE_NAME) return ERROR_INVALID_PARAMETER;
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve_for(handle, KEY_SET_VALUE, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::string folded = fold_name(value_name);
    return key.hive->write([&](Transaction &t) -> LONG {
        if (key.id != kRootKey && !t.key_exists(key.id)) return ERROR_KEY_DELETED;
        t.put_value(key.id, folded, value_name, type, data, size);
        t.stamp(key.id, filetime_now());
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY handle, LPCSTR name) {
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve_for(handle, KEY_SET_VALUE, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::string folded = fold_name(name ? name : "");
    return key.hive->write([&](Transaction &t) -> LONG {
        if (!t.delete_value(key.id, folded)) return missing(t, key, ERROR_FILE_NOT_FOUND);
        t.stamp(key.id, filetime_now());
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyA(HKEY handle, LPCSTR subkey) {
    if (!subkey) return ERROR_INVALID_PARAMETER;
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve(handle, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::string_view> parts;
    if ((status = split_key_path(subkey, parts)) != ERROR_SUCCESS) return status;
    if (size_t mount = parts_to_mount(key, parts); mount != kNoMount) {
        Key inside = key;
        if ((status = mount_key(inside)) != ERROR_SUCCESS) return status;
        if (mount < parts.size()) {
            key = std::move(inside);
            parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(mount));
        } else {
            // The mount goes as a key does, with its values but never with subkeys.
            status = inside.hive->write([](Transaction &t) -> LONG {
                if (t.has_subkeys(kRootKey)) return ERROR_ACCESS_DENIED;
                while (auto value = t.value_at(kRootKey, 0)) t.delete_value(kRootKey, fold_name(value->name));
                return ERROR_SUCCESS;
            });
            if (status != ERROR_SUCCESS) return status;
        }
    }
    // Deleting the key of the handle itself needs the handle's DELETE right;
    // a root is never deleted.
    if (parts.empty() && (key.id == kRootKey || !(key.access & DELETE))) return ERROR_ACCESS_DENIED;
    if (!key.hive->writable()) return ERROR_ACCESS_DENIED;
    std::string path = key.path;
    for (auto part : parts) path = child_path(path, fold_name(part));
    return key.hive->write([&](Transaction &t) -> LONG {
        auto row = t.find_key(path);
        if (!row) return missing(t, key, parts.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND);
        if (t.has_subkeys(row->id)) return ERROR_ACCESS_DENIED;
        t.delete_key(row->id);
        stamp_parent(t, path, filetime_now());
        return ERROR_SUCCESS;
    });
}

LONG RegSetKeyValueA(HKEY handle, LPCSTR subkey, LPCSTR name, DWORD type, LPCVOID data, DWORD size) {
    if (!data && size) return ERROR_INVALID_PARAMETER;
    std::string_view value_name = name ? name : "";
    if (name_units(value_name) > REG_MAX_VALUE_NAME) return ERROR_INVALID_PARAMETER;
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve_for(handle, KEY_SET_VALUE, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::string_view> parts;
    if ((status = split_key_path(subkey, parts)) != ERROR_SUCCESS) return status;
    if (parts.size() > REG_MAX_CREATE_LEVELS || key.depth + parts.size() > REG_MAX_TREE_DEPTH)
        return ERROR_INVALID_PARAMETER;
    bool mount_created = false;
    if ((status = route_to_mount(key, parts, "", mount_created)) != ERROR_SUCCESS) return status;
    if (!key.hive->writable()) return ERROR_ACCESS_DENIED;
    std::vector<std::string> paths;
    std::string path = key.path;
    for (auto part : parts) paths.push_back(path = child_path(path, fold_name(part)));
    std::string folded = fold_name(value_name);
    // The missing keys and the value are one transaction: all of it is kept, or none.
    return key.hive->write([&](Transaction &t) -> LONG {
        KeyId id = 0;
        bool created = false;
        LONG result = create_path(t, key, parts, paths, "", id, created);
        if (result != ERROR_SUCCESS) return result;
        t.put_value(id, folded, value_name, type, static_cast<const BYTE *>(data), size);
        t.stamp(id, filetime_now());
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteTreeA(HKEY handle, LPCSTR subkey) {
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve_for(handle, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::string_view> parts;
    if ((status = split_key_path(subkey, parts)) != ERROR_SUCCESS) return status;
    if (size_t mount = parts_to_mount(key, parts); mount != kNoMount && mount < parts.size()) {
        // Below the mount the tree is the security hive's alone.
        if ((status = mount_key(key)) != ERROR_SUCCESS) return status;
        parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(mount));
    }
    if (!key.hive->writable()) return ERROR_ACCESS_DENIED;
    std::string path = key.path;
    for (auto part : parts) path = child_path(path, fold_name(part));
    // A tree that holds the mount takes the security hive's keys and values
    // with it; that hive is emptied first, in a transaction of its own.
    std::string_view mount_path = kSecurityMountPath;
    if (holds_security_mount(*key.hive) &&
        (path.empty() || mount_path == path || (mount_path.starts_with(path) && mount_path[path.size()] == '\\'))) {
        auto security = security_hive(status);
        if (!security) return status;
        status = security->write([](Transaction &t) -> LONG {
            t.delete_below("");
            t.delete_values(kRootKey);
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) return status;
    }
    // One transaction, by path rather than by a walk: the whole tree goes or
    // nothing does, and keys damaged into a circle cannot hold it up.
    return key.hive->write([&](Transaction &t) -> LONG {
        int64_t now = filetime_now();
        if (parts.empty()) {
            // Without a subkey the key stays, emptied of its subkeys and values.
            if (key.id != kRootKey && !t.key_exists(key.id)) return ERROR_KEY_DELETED;
            t.delete_below(key.path);
            t.delete_values(key.id);
            t.stamp(key.id, now);
            return ERROR_SUCCESS;
        }
        auto row = t.find_key(path);
        if (!row) return missing(t, key, ERROR_FILE_NOT_FOUND);
        t.delete_below(row->path);
        t.delete_key(row->id);
        stamp_parent(t, path, now);
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExA(HKEY handle, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPSTR class_name,
                   LPDWORD class_length, PFILETIME last_write) {
    if (!name || !name_length || reserved || (class_name && !class_length)) return ERROR_INVALID_PARAMETER;
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve_for(handle, KEY_ENUMERATE_SUB_KEYS, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::unique_lock<std::mutex> cursor;
    if (key.object) cursor = std::unique_lock(key.object->cursor_mutex);
    return key.hive->read([&](Transaction &t) -> LONG {
        bool next = key.object && key.object->subkey_index != ~0u && index == key.object->subkey_index + 1;
        auto row = next ? t.subkey_after(key.id, key.path, key.object->subkey_path) : t.subkey_at(key.id, key.path, index);
        if (!row) return missing(t, key, ERROR_NO_MORE_ITEMS);
        if (row->name.size() + 1 > *name_length) return ERROR_MORE_DATA;
        if (class_name && row->class_name.size() + 1 > *class_length) return ERROR_MORE_DATA;
        copy_name(row->name, name, name_length);
        if (class_name) copy_name(row->class_name, class_name, class_length);
        store_filetime(row->written, last_write);
        if (key.object) {
            key.object->subkey_index = index;
            key.object->subkey_path = row->path;
        }
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValueA(HKEY handle, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD size) {
    if (!name || !name_length || reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve_for(handle, KEY_QUERY_VALUE, key, holder);
    if (status != ERROR_SUCCESS) return status;
    std::unique_lock<std::mutex> cursor;
    if (key.object) cursor = std::unique_lock(key.object->cursor_mutex);
    return key.hive->read([&](Transaction &t) -> LONG {
        bool next = key.object && key.object->value_index != ~0u && index == key.object->value_index + 1;
        auto value = next ? t.value_after(key.id, key.object->value_seq) : t.value_at(key.id, index);
        if (!value) return missing(t, key, ERROR_NO_MORE_ITEMS);
        LONG result = copy_name(value->name, name, name_length);
        if (result != ERROR_SUCCESS) return result;
        result = copy_data(*value, type, data, size);
        if (key.object) {
            key.object->value_index = index;
            key.object->value_seq = value->seq;
        }
        return result;
    });
}

LONG RegQueryInfoKeyA(HKEY handle, LPSTR class_name, LPDWORD class_length, LPDWORD reserved, LPDWORD subkeys,
                      LPDWORD max_subkey_length, LPDWORD max_class_length, LPDWORD values,
                      LPDWORD max_value_name_length, LPDWORD max_value_length, LPDWORD security_length,
                      PFILETIME last_write) {
    if (reserved || (class_name && !class_length)) return ERROR_INVALID_PARAMETER;
    Key key;
    std::shared_ptr<KeyObject> holder;
    LONG status = resolve_for(handle, KEY_QUERY_VALUE, key, holder);
    if (status != ERROR_SUCCESS) return status;
    return key.hive->read([&](Transaction &t) -> LONG {
        auto row = t.find_key(key.path);
        if (!row || row->id != key.id) return ERROR_KEY_DELETED;
        KeySummary s = t.summary(key.id);
        if (subkeys) *subkeys = s.subkeys;
        if (max_subkey_length) *max_subkey_length = s.max_subkey_name;
        if (max_class_length) *max_class_length = s.max_class;
        if (values) *values = s.values;
        if (max_value_name_length) *max_value_name_length = s.max_value_name;
        if (max_value_length) *max_value_length = s.max_value_data;
        if (security_length) *security_length = 0;
        store_filetime(row->written, last_write);
        // Everything else is answered even when the class does not fit.
        LONG result = ERROR_SUCCESS;
        if (class_name) {
            result = copy_name(row->class_name, class_name, class_length);
            if (result == ERROR_MORE_DATA) *class_length = static_cast<DWORD>(row->class_name.size());
        } else if (class_length) {
            *class_length = static_cast<DWORD>(row->class_name.size());
        }
        return result;
    });
}

LONG RegQueryValueA(HKEY handle, LPCSTR subkey, LPSTR data, PLONG size) {
    HKEY key = handle;
    if (subkey && *subkey) {
        LONG status = RegOpenKeyExA(handle, subkey, 0, KEY_QUERY_VALUE, &key);
        if (status != ERROR_SUCCESS) return status;
    }
    DWORD length = size ? static_cast<DWORD>(*size) : 0;
    LONG status = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(data),
                                   size ? &length : nullptr);
    // A key whose default value was never set answers with an empty string.
    if (status == ERROR_FILE_NOT_FOUND) {
        status = ERROR_SUCCESS;
        length = 1;
        if (data && size && *size >= 1) {
            data[0] = '\0';
        } else if (data && size) {
            status = ERROR_MORE_DATA;
        }
    }
    if (size && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) *size = static_cast<LONG>(length);
    if (key != handle) RegCloseKey(key);
    return status;
}

LONG RegConnectRegistryA(LPCSTR machine, HKEY root, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    bool local = !machine || !*machine;
    if (root == HKEY_CURRENT_USER && local) {
        *result = root;
        return ERROR_SUCCESS;
    }
    // Another machine's registry offers its machine hive only.
    if (root != HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
    LONG status = ERROR_SUCCESS;
    auto hive = local ? local_machine_hive(status) : remote_machine_hive(machine, status);
    if (!hive) return status;
    REGSAM granted = hive->writable() ? KEY_ALL_ACCESS : KEY_READ;
    Key base;
    base.hive = hive;
    *result = new_handle(base, kRootKey, "", 0, granted);
    return ERROR_SUCCESS;
}

}  // extern "C"
