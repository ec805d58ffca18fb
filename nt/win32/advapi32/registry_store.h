// One hive of the registry: an SQLite database of keys and typed values,
// safe for many processes at once (WAL, busy waits, one transaction per
// operation).  The layout is in docs/registry.md.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "advapi32/registry_change_watch.h"
#include "winbase.h"

namespace quarn::win32::registry {

using KeyId = int64_t;
constexpr KeyId kRootKey = 1;

struct KeyRow {
    KeyId id = 0;
    std::string name;
    std::string path;  // folded, components joined by backslashes; empty for the root
    std::string class_name;
    int64_t written = 0;  // FILETIME ticks
};

// A value as the statement holds it; the bytes live until the transaction's next step.
struct ValueView {
    std::string_view name;
    DWORD type = 0;
    const BYTE *data = nullptr;
    DWORD size = 0;
    int64_t seq = 0;
};

struct KeySummary {
    DWORD subkeys = 0, max_subkey_name = 0, max_class = 0;
    DWORD values = 0, max_value_name = 0, max_value_data = 0;
};

class Hive;

// The steps of one operation, valid inside Hive::read or Hive::write only.
// SQLite failures are thrown and become the operation's Win32 code.
class Transaction {
public:
    Transaction(Hive &hive, bool cached) : hive_(hive), cached_(cached) {}
    std::optional<KeyRow> find_key(std::string_view path);
    bool key_exists(KeyId id);
    bool has_subkeys(KeyId id);
    KeyId insert_key(KeyId parent, std::string_view name, std::string_view path, std::string_view class_name,
                     int64_t now);
    void delete_key(KeyId id);
    // Every key below `path`, with its values; the key at `path` stays.
    void delete_below(std::string_view path);
    void delete_values(KeyId id);
    void stamp(KeyId id, int64_t now);
    int64_t written(KeyId id);

    std::optional<ValueView> find_value(KeyId key, std::string_view folded);
    void put_value(KeyId key, std::string_view folded, std::string_view name, DWORD type, const BYTE *data,
                   DWORD size);
    bool delete_value(KeyId key, std::string_view folded);

    // Subkeys in order of their folded names, values in order of creation;
    // the next one after a position, or the one at an index.  `key_path` is
    // the key's own path: a subkey whose row does not extend it by one name
    // would lead a walk back up or round in a circle, and is reported as a
    // damaged hive.
    std::optional<KeyRow> subkey_after(KeyId key, std::string_view key_path, std::string_view after);
    std::optional<KeyRow> subkey_at(KeyId key, std::string_view key_path, DWORD index);
    std::optional<ValueView> value_after(KeyId key, int64_t seq);
    std::optional<ValueView> value_at(KeyId key, DWORD index);
    KeySummary summary(KeyId key);

private:
    std::optional<ValueView> cached_value_after(KeyId key, int64_t seq);
    Hive &hive_;
    bool cached_;  // a read whose answers may come from, and go to, the hive's cache
};

class Hive {
public:
    // Opens the hive file, creating it (with `mode`) when `create` is set and
    // it is missing.  A file that is not a hive fails with ERROR_BADDB; a
    // missing one with ERROR_FILE_NOT_FOUND; a link, or a file owned by
    // neither `owner` (-1: anybody) nor root, or one that others may write,
    // with ERROR_ACCESS_DENIED.  A file this process may not write is opened
    // for reading only.
    static std::shared_ptr<Hive> open(const std::filesystem::path &file, bool create, mode_t mode, LONG &status,
                                      uid_t owner = static_cast<uid_t>(-1));
    ~Hive();
    Hive(const Hive &) = delete;
    Hive &operator=(const Hive &) = delete;

    bool writable() const { return writable_; }
    const std::filesystem::path &file() const { return file_; }

    // Runs `steps` against a consistent view; its result, or the Win32 code of a failure.
    LONG read(const std::function<LONG(Transaction &)> &steps);
    // Runs `steps` in one durable transaction that other writers wait for;
    // nothing is kept unless `steps` returns ERROR_SUCCESS.
    LONG write(const std::function<LONG(Transaction &)> &steps);

    enum Statement : int;
    sqlite3_stmt *statement(Statement which);

private:
    friend class Transaction;
    struct CachedValue {
        bool present = false;
        DWORD type = 0;
        std::string name, data;
        int64_t seq = 0;
    };
    struct ValueKey {
        KeyId key;
        std::string folded;
        bool operator==(const ValueKey &) const = default;
    };
    struct ValueKeyHash {
        size_t operator()(const ValueKey &k) const {
            return std::hash<std::string>()(k.folded) ^ static_cast<size_t>(k.key * 0x9E3779B97F4A7C15ull);
        }
    };

    Hive(std::filesystem::path file, bool writable) : file_(std::move(file)), writable_(writable) {}
    LONG connect();
    void disconnect();
    bool wal_present() const;
    // A writer came back since this reader connected to the bare file or a copy.
    bool view_outdated() const;
    LONG prepare_schema();
    bool ours();   // a hive of this layout
    bool empty();  // a database with nothing in it yet
    LONG run(bool durable, const std::function<LONG(Transaction &)> &steps);
    void drop_cache();
    void reset_statements();

    std::filesystem::path file_;
    bool writable_;
    bool immutable_ = false;  // a reader of a hive whose WAL is missing: the file as it stands
    std::filesystem::path copy_;  // a reader's private copy of a hive whose WAL index is missing
    unsigned generation_ = ~0u;  // a connection never crosses fork(): the child opens its own
    sqlite3 *db_ = nullptr;
    // Answers of earlier reads, good while the WAL index shows no commit since.
    ChangeWatch watch_;
    std::optional<WalHeader> cache_tag_;
    std::unordered_map<std::string, std::optional<KeyRow>> key_cache_;
    std::unordered_map<ValueKey, CachedValue, ValueKeyHash> value_cache_;
    std::map<std::pair<KeyId, int64_t>, CachedValue> next_value_cache_;  // the value after (key, seq)
    sqlite3_stmt *statements_[24] = {};
    std::recursive_mutex mutex_;
};

// The current time as FILETIME ticks.
int64_t filetime_now();

}  // namespace quarn::win32::registry
