// Hive files from outside: any bytes either open as a hive whose keys and
// values can be walked, or fail with a registry error; never a crash.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "advapi32/registry_store.h"
#include "winerror.h"

namespace {

using namespace quarn::win32::registry;

// Walks every key reachable from the root, and the values of each.
void walk(Transaction &t, KeyId key, std::string_view path, int depth) {
    if (depth > 64) return;
    for (std::optional<ValueView> v = t.value_at(key, 0); v; v = t.value_after(key, v->seq))
        if (v->size && !v->data) std::abort();
    // A damaged file may hold rows that contradict each other (a key listed
    // under itself, a path its index does not know); they must only read oddly.
    for (std::optional<KeyRow> row = t.subkey_at(key, path, 0); row; row = t.subkey_after(key, path, row->path)) {
        t.find_key(row->path);
        if (row->id != key) walk(t, row->id, row->path, depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("hive-fuzz-" + std::to_string(getpid()) + ".db");
    std::filesystem::remove(file.string() + "-wal");
    std::filesystem::remove(file.string() + "-shm");
    FILE *out = std::fopen(file.c_str(), "wb");
    if (!out) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);
    LONG status = ERROR_SUCCESS;
    // Opened for writing, as the machine hive is: damage must be found, not repaired.
    auto hive = Hive::open(file, false, 0600, status);
    if (!hive) {
        if (status == ERROR_SUCCESS) std::abort();
        return 0;
    }
    hive->read([](Transaction &t) -> LONG {
        walk(t, kRootKey, "", 0);
        return ERROR_SUCCESS;
    });
    return 0;
}
