// One hive of the registry: an SQLite database of keys and typed values,
// safe for many processes at once (WAL, busy waits, one transaction per
// operation).  The layout is in docs/registry.md.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

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
    explicit Transaction(Hive &hive) : hive_(hive) {}
    std::optional<KeyRow> find_key(std::string_view path);
    bool key_exists(KeyId id);
    bool has_subkeys(KeyId id);
    KeyId insert_key(KeyId parent, std::string_view name, std::string_view path, std::string_view class_name,
                     int64_t now);
    void delete_key(KeyId id);
    void stamp(KeyId id, int64_t now);
    int64_t written(KeyId id);

    std::optional<ValueView> find_value(KeyId key, std::string_view folded);
    void put_value(KeyId key, std::string_view folded, std::string_view name, DWORD type, const BYTE *data,
                   DWORD size);
    bool delete_value(KeyId key, std::string_view folded);

    // Subkeys in order of their folded names, values in order of creation;
    // the next one after a position, or the one at an index.
    std::optional<KeyRow> subkey_after(KeyId key, std::string_view path);
    std::optional<KeyRow> subkey_at(KeyId key, DWORD index);
    std::optional<ValueView> value_after(KeyId key, int64_t seq);
    std::optional<ValueView> value_at(KeyId key, DWORD index);
    KeySummary summary(KeyId key);

private:
    Hive &hive_;
};

class Hive {
public:
    // Opens the hive file, creating it (with `mode`) when `create` is set and
    // it is missing.  A file that is not a hive fails with ERROR_BADDB; a
    // missing one with ERROR_FILE_NOT_FOUND.  A file this process may not
    // write is opened for reading only.
    static std::shared_ptr<Hive> open(const std::filesystem::path &file, bool create, mode_t mode, LONG &status);
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
    Hive(std::filesystem::path file, bool writable) : file_(std::move(file)), writable_(writable) {}
    LONG connect();
    LONG prepare_schema();
    LONG run(bool durable, const std::function<LONG(Transaction &)> &steps);

    std::filesystem::path file_;
    bool writable_;
    pid_t owner_ = 0;  // a connection never crosses fork(): the child opens its own
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *statements_[24] = {};
    std::recursive_mutex mutex_;
};

// The current time as FILETIME ticks.
int64_t filetime_now();

}  // namespace quarn::win32::registry
