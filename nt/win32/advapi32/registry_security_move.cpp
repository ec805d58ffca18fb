// Moving what an older prefix kept below the security mount in the machine
// hive, where everybody may read the file, into the security hive that only
// root reads.  The copy comes first, in one transaction that keeps whatever
// the security hive has already; the machine hive's keys and values go
// after it, in one transaction of their own.  A crash between the two loses
// nothing, and the next move finishes the job.
#include <string>
#include <vector>

#include "advapi32/registry_names.h"
#include "advapi32/registry_roots.h"
#include "advapi32/registry_store.h"

namespace quarn::win32::registry {
namespace {

struct StoredValue {
    std::string name;
    DWORD type = 0;
    std::string data;
};

struct StoredKey {
    std::string name, path, class_name;  // path below the mount, folded; empty for the mount itself
    int64_t written = 0;
    std::vector<StoredValue> values;
};

// The mount's key and everything below it, parents before their subkeys.
std::vector<StoredKey> read_below_mount(Transaction &t) {
    std::vector<StoredKey> keys;
    auto mount = t.find_key(kSecurityMountPath);
    if (!mount) return keys;
    const size_t skip = mount->path.size() + 1;
    std::vector<KeyRow> pending = {*mount};
    while (!pending.empty()) {
        KeyRow row = std::move(pending.back());
        pending.pop_back();
        StoredKey key{row.name, row.path.size() > skip ? row.path.substr(skip) : "", row.class_name, row.written, {}};
        for (auto value = t.value_after(row.id, 0); value; value = t.value_after(row.id, value->seq))
            key.values.push_back({std::string(value->name), value->type,
                                  std::string(reinterpret_cast<const char *>(value->data), value->size)});
        for (auto sub = t.subkey_after(row.id, row.path, ""); sub; sub = t.subkey_after(row.id, row.path, sub->path))
            pending.push_back(*sub);
        keys.push_back(std::move(key));
    }
    return keys;
}

// The parent's path of a path below the mount ("" for the mount's children).
std::string parent_of(const std::string &path) {
    size_t last = path.rfind('\\');
    return last == std::string::npos ? std::string() : path.substr(0, last);
}

}  // namespace

LONG move_security_out_of_machine_hive() {
    LONG status = ERROR_SUCCESS;
    auto machine = local_machine_hive(status);
    if (!machine) return status;
    std::vector<StoredKey> keys;
    status = machine->read([&](Transaction &t) -> LONG {
        keys = read_below_mount(t);
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS || keys.empty()) return status;
    auto security = security_hive(status);
    if (!security) return status;
    status = security->write([&](Transaction &t) -> LONG {
        for (const auto &key : keys) {
            KeyId id = kRootKey;
            if (!key.path.empty()) {
                auto row = t.find_key(key.path);
                auto parent = key.path.find('\\') == std::string::npos ? std::optional<KeyRow>(KeyRow{kRootKey})
                                                                        : t.find_key(parent_of(key.path));
                if (!parent) return ERROR_BADDB;  // parents come first: a damaged tree
                id = row ? row->id : t.insert_key(parent->id, key.name, key.path, key.class_name, key.written);
            }
            for (const auto &value : key.values) {
                std::string folded = fold_name(value.name);
                if (t.find_value(id, folded)) continue;  // the security hive's own is the newer
                t.put_value(id, folded, value.name, value.type, reinterpret_cast<const BYTE *>(value.data.data()),
                            static_cast<DWORD>(value.data.size()));
            }
        }
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    return machine->write([](Transaction &t) -> LONG {
        if (auto mount = t.find_key(kSecurityMountPath)) {
            t.delete_below(mount->path);
            t.delete_values(mount->id);
        }
        return ERROR_SUCCESS;
    });
}

}  // namespace quarn::win32::registry
