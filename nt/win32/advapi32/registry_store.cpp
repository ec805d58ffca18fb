// The SQLite side of a hive.  Sections: error mapping, statements, the
// transaction steps, opening and the schema, running an operation.
#include "advapi32/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <new>

#include "advapi32/registry_names.h"
#include "machine/owned_files.h"
#include "winerror.h"

namespace quarn::win32::registry {

namespace {

// "QREG": marks a database as one of our hives.
constexpr int kApplicationId = 0x51524547;
constexpr int kSchemaVersion = 1;
constexpr int kBusyMilliseconds = 30000;
// Every process that opens a hive first reads the WAL back to rebuild its
// index, so the committing writer checkpoints it at this many pages...
constexpr int kWalCheckpointPages = 128;
// ...and, when other processes keep that from emptying it (a writer starts
// the WAL again from its front only while no transaction reads it, which
// writers side by side rarely allow), past this many the writer waits for
// those transactions to end, checkpoints all and starts the WAL again.
constexpr int kWalMostPages = 1024;
constexpr int kCheckpointAttempts = 200;

struct SqliteFailure {
    int code;
};

// ---- error mapping -------------------------------------------------------------

LONG status_from_sqlite(int code) {
    switch (code & 0xFF) {
    case SQLITE_OK: return ERROR_SUCCESS;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
    // Our statements are fixed: one that no longer compiles (a table gone)
    // means the file no longer has a hive's tables.
    case SQLITE_ERROR:
    case SQLITE_MISMATCH:
    case SQLITE_CONSTRAINT: return ERROR_BADDB;
    case SQLITE_CANTOPEN: return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_CANTOPEN;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_BUSY;
    default: return ERROR_REGISTRY_IO_FAILED;
    }
}

// A URI that opens `file` as a database nobody changes: no locks, no WAL.
bool present(const std::string &file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0;
}

// A copy of the hive and its WAL in a private folder, where SQLite can make
// the WAL index and so read every committed change; empty when it cannot be
// made, or when a writer brought the index back meanwhile (the copies might
// then be of two moments).
std::filesystem::path private_copy(const std::filesystem::path &file) {
    std::string folder = (std::filesystem::temp_directory_path() / "quarn-hive-XXXXXX").string();
    if (!mkdtemp(folder.data())) return {};
    std::filesystem::path copy = std::filesystem::path(folder) / file.filename();
    std::error_code error;
    bool copied = std::filesystem::copy_file(file, copy, error) &&
                  std::filesystem::copy_file(file.string() + "-wal", copy.string() + "-wal", error) &&
                  !present(file.string() + "-shm");
    if (!copied) std::filesystem::remove_all(folder, error);
    return copied ? copy : std::filesystem::path();
}

std::string immutable_uri(const std::filesystem::path &file) {
    std::string uri = "file:";
    for (unsigned char c : file.string()) {
        if (std::isalnum(c) || c == '/' || c == '.' || c == '_' || c == '-') {
            uri += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        }
    }
    return uri + "?immutable=1";
}

void check(int code) {
    if (code != SQLITE_OK) throw SqliteFailure{code};
}

// Runs after every commit of a writable connection, with the WAL's length.
// A checkpoint that cannot finish now leaves the pages to the next commit.
int after_commit(void *, sqlite3 *db, const char *schema, int pages) {
    if (pages < kWalCheckpointPages) return SQLITE_OK;
    if (pages < kWalMostPages) {
        sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        return SQLITE_OK;
    }
    // Another writer's passive checkpoint holds the checkpoint lock only
    // briefly, and SQLite does not wait for that lock: try again a while.
    for (int attempt = 0; attempt < kCheckpointAttempts; ++attempt) {
        if (sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_RESTART, nullptr, nullptr) != SQLITE_BUSY) break;
        Sleep(1);
    }
    return SQLITE_OK;
}

// ---- statements -------------------------------------------------------------------

const char *const kStatementText[] = {
    "SELECT id, name, path, class, written FROM keys WHERE path = ?1",
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "INSERT INTO keys(parent, name, path, class, written) VALUES (?1, ?2, ?3, ?4, ?5)",
    "DELETE FROM keys WHERE id = ?1",
    "DELETE FROM vals WHERE key = ?1",
    "UPDATE keys SET written = ?2 WHERE id = ?1",
    "SELECT written FROM keys WHERE id = ?1",
    "DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE path > ?1 AND path < ?2)",
    "DELETE FROM keys WHERE path > ?1 AND path < ?2",
    "SELECT name, type, data, seq FROM vals WHERE key = ?1 AND folded = ?2",
    "UPDATE vals SET type = ?3, data = ?4 WHERE key = ?1 AND folded = ?2",
    "INSERT INTO vals(key, folded, name, seq, type, data) VALUES "
    "(?1, ?2, ?3, (SELECT coalesce(max(seq), 0) + 1 FROM vals WHERE key = ?1), ?4, ?5)",
    "DELETE FROM vals WHERE key = ?1 AND folded = ?2",
    "SELECT id, name, path, class, written FROM keys WHERE parent = ?1 AND path > ?2 ORDER BY path LIMIT 1",
    "SELECT id, name, path, class, written FROM keys WHERE parent = ?1 ORDER BY path LIMIT 1 OFFSET ?2",
    "SELECT name, type, data, seq FROM vals WHERE key = ?1 AND seq > ?2 ORDER BY seq LIMIT 1",
    "SELECT name, type, data, seq FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2",
    "SELECT name, type, data, seq FROM vals WHERE key = ?1 AND seq > ?2 ORDER BY seq LIMIT ?3",
    "SELECT (SELECT count(*) FROM keys WHERE parent = ?1),"
    " (SELECT coalesce(max(length(CAST(name AS BLOB))), 0) FROM keys WHERE parent = ?1),"
    " (SELECT coalesce(max(length(CAST(class AS BLOB))), 0) FROM keys WHERE parent = ?1),"
    " (SELECT count(*) FROM vals WHERE key = ?1),"
    " (SELECT coalesce(max(length(CAST(name AS BLOB))), 0) FROM vals WHERE key = ?1),"
    " (SELECT coalesce(max(length(data)), 0) FROM vals WHERE key = ?1)",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
};

constexpr const char *kSchema =
    "CREATE TABLE keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER,"
    " name TEXT NOT NULL,"
    " path TEXT NOT NULL UNIQUE,"
    " class TEXT NOT NULL,"
    " written INTEGER NOT NULL);"
    "CREATE INDEX keys_children ON keys(parent, path);"
    "CREATE TABLE vals("
    " key INTEGER NOT NULL,"
    " folded TEXT NOT NULL,"
    " name TEXT NOT NULL,"
    " seq INTEGER NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, folded)) WITHOUT ROWID;"
    "CREATE UNIQUE INDEX vals_order ON vals(key, seq);";

}  // namespace

enum Hive::Statement : int {
    kFindKey,
    kKeyExists,
    kHasSubkeys,
    kInsertKey,
    kDeleteKey,
    kDeleteKeyValues,
    kStamp,
    kWritten,
    kDeleteValuesBelow,
    kDeleteKeysBelow,
    kFindValue,
    kUpdateValue,
    kInsertValue,
    kDeleteValue,
    kSubkeyAfter,
    kSubkeyAt,
    kValueAfter,
    kValueAt,
    kValueBatch,
    kSummary,
    kBeginImmediate,
    kCommit,
    kRollback,
    kStatementCount
};
static_assert(sizeof kStatementText / sizeof *kStatementText == Hive::kStatementCount);

sqlite3_stmt *Hive::statement(Statement which) {
    static_assert(kStatementCount <= sizeof statements_ / sizeof *statements_);
    sqlite3_stmt *&slot = statements_[which];
    if (!slot) check(sqlite3_prepare_v3(db_, kStatementText[which], -1, SQLITE_PREPARE_PERSISTENT, &slot, nullptr));
    sqlite3_reset(slot);
    sqlite3_clear_bindings(slot);
    return slot;
}

// ---- transaction steps -------------------------------------------------------------

namespace {

void bind_text(sqlite3_stmt *s, int index, std::string_view text) {
    check(sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC));
}

void bind_int(sqlite3_stmt *s, int index, int64_t number) { check(sqlite3_bind_int64(s, index, number)); }

// SQLITE_ROW (true) or SQLITE_DONE (false); anything else is a failure.
bool step(sqlite3_stmt *s) {
    int code = sqlite3_step(s);
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    throw SqliteFailure{code};
}

std::string_view column_text(sqlite3_stmt *s, int column) {
    auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, column));
    return {text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s, column))};
}

KeyRow key_row(sqlite3_stmt *s) {
    return {sqlite3_column_int64(s, 0), std::string(column_text(s, 1)), std::string(column_text(s, 2)),
            std::string(column_text(s, 3)), sqlite3_column_int64(s, 4)};
}

ValueView value_view(sqlite3_stmt *s) {
    ValueView v;
    v.name = column_text(s, 0);
    v.type = static_cast<DWORD>(sqlite3_column_int64(s, 1));
    v.data = static_cast<const BYTE *>(sqlite3_column_blob(s, 2));
    v.size = static_cast<DWORD>(sqlite3_column_bytes(s, 2));
    v.seq = sqlite3_column_int64(s, 3);
    return v;
}

}  // namespace

std::optional<KeyRow> Transaction::find_key(std::string_view path) {
    if (cached_) {
        auto found = hive_.key_cache_.find(std::string(path));
        if (found != hive_.key_cache_.end()) return found->second;
    }
    auto *s = hive_.statement(Hive::kFindKey);
    bind_text(s, 1, path);
    std::optional<KeyRow> row;
    if (step(s)) row = key_row(s);
    if (cached_) hive_.key_cache_.emplace(std::string(path), row);
    return row;
}

bool Transaction::key_exists(KeyId id) {
    auto *s = hive_.statement(Hive::kKeyExists);
    bind_int(s, 1, id);
    return step(s);
}

bool Transaction::has_subkeys(KeyId id) {
    auto *s = hive_.statement(Hive::kHasSubkeys);
    bind_int(s, 1, id);
    return step(s);
}

KeyId Transaction::insert_key(KeyId parent, std::string_view name, std::string_view path,
                              std::string_view class_name, int64_t now) {
    auto *s = hive_.statement(Hive::kInsertKey);
    bind_int(s, 1, parent);
    bind_text(s, 2, name);
    bind_text(s, 3, path);
    bind_text(s, 4, class_name);
    bind_int(s, 5, now);
    step(s);
    return sqlite3_last_insert_rowid(sqlite3_db_handle(s));
}

void Transaction::delete_key(KeyId id) {
    for (auto which : {Hive::kDeleteKeyValues, Hive::kDeleteKey}) {
        auto *s = hive_.statement(which);
        bind_int(s, 1, id);
        step(s);
    }
}

void Transaction::delete_values(KeyId id) {
    auto *s = hive_.statement(Hive::kDeleteKeyValues);
    bind_int(s, 1, id);
    step(s);
}

void Transaction::delete_below(std::string_view path) {
    // The paths below P run from "P\" up to "P]", ']' following '\'; below
    // the root, every path but the root's empty one (0xFF begins no UTF-8).
    std::string low = path.empty() ? "" : std::string(path) + '\\';
    std::string high = path.empty() ? "\xFF" : std::string(path) + ']';
    for (auto which : {Hive::kDeleteValuesBelow, Hive::kDeleteKeysBelow}) {
        auto *s = hive_.statement(which);
        bind_text(s, 1, low);
        bind_text(s, 2, high);
        step(s);
    }
}

void Transaction::stamp(KeyId id, int64_t now) {
    auto *s = hive_.statement(Hive::kStamp);
    bind_int(s, 1, id);
    bind_int(s, 2, now);
    step(s);
}

int64_t Transaction::written(KeyId id) {
    auto *s = hive_.statement(Hive::kWritten);
    bind_int(s, 1, id);
    return step(s) ? sqlite3_column_int64(s, 0) : 0;
}

std::optional<ValueView> Transaction::find_value(KeyId key, std::string_view folded) {
    auto view_of = [](const Hive::CachedValue &v) -> std::optional<ValueView> {
        if (!v.present) return std::nullopt;
        return ValueView{v.name, v.type, reinterpret_cast<const BYTE *>(v.data.data()),
                         static_cast<DWORD>(v.data.size()), v.seq};
    };
    Hive::ValueKey lookup{key, std::string(folded)};
    if (cached_) {
        auto found = hive_.value_cache_.find(lookup);
        if (found != hive_.value_cache_.end()) return view_of(found->second);
    }
    auto *s = hive_.statement(Hive::kFindValue);
    bind_int(s, 1, key);
    bind_text(s, 2, folded);
    std::optional<ValueView> value;
    if (step(s)) value = value_view(s);
    if (!cached_) return value;
    Hive::CachedValue entry;
    if (value) {
        entry.present = true;
        entry.type = value->type;
        entry.name = std::string(value->name);
        entry.data.assign(reinterpret_cast<const char *>(value->data), value->size);
        entry.seq = value->seq;
    }
    auto placed = hive_.value_cache_.insert_or_assign(std::move(lookup), std::move(entry));
    return view_of(placed.first->second);
}

void Transaction::put_value(KeyId key, std::string_view folded, std::string_view name, DWORD type,
                            const BYTE *data, DWORD size) {
    // A zero-length blob must not be bound from a null pointer, which SQLite stores as NULL.
    static const BYTE nothing = 0;
    const void *bytes = size ? static_cast<const void *>(data) : &nothing;
    auto *update = hive_.statement(Hive::kUpdateValue);
    bind_int(update, 1, key);
    bind_text(update, 2, folded);
    bind_int(update, 3, type);
    check(sqlite3_bind_blob(update, 4, bytes, static_cast<int>(size), SQLITE_STATIC));
    step(update);
    if (sqlite3_changes(sqlite3_db_handle(update)) > 0) return;
    auto *insert = hive_.statement(Hive::kInsertValue);
    bind_int(insert, 1, key);
    bind_text(insert, 2, folded);
    bind_text(insert, 3, name);
    bind_int(insert, 4, type);
    check(sqlite3_bind_blob(insert, 5, bytes, static_cast<int>(size), SQLITE_STATIC));
    step(insert);
}

bool Transaction::delete_value(KeyId key, std::string_view folded) {
    auto *s = hive_.statement(Hive::kDeleteValue);
    bind_int(s, 1, key);
    bind_text(s, 2, folded);
    step(s);
    return sqlite3_changes(sqlite3_db_handle(s)) > 0;
}

namespace {

// A subkey row is the child of `key_path` it claims to be: one non-empty
// name below it.  Anything else (an empty name, a backslash in the name, a
// path elsewhere) was written by hand, and a walk that followed it could
// come back to where it began.
KeyRow checked_child(KeyRow row, std::string_view key_path) {
    std::string folded = fold_name(row.name);
    std::string expected(key_path);
    if (!expected.empty()) expected += '\\';
    expected += folded;
    bool child = !folded.empty() && folded.find('\\') == std::string::npos && row.path == expected;
    if (!child) throw SqliteFailure{SQLITE_CORRUPT};
    return row;
}

}  // namespace

std::optional<KeyRow> Transaction::subkey_after(KeyId key, std::string_view key_path, std::string_view after) {
    auto *s = hive_.statement(Hive::kSubkeyAfter);
    bind_int(s, 1, key);
    bind_text(s, 2, after);
    if (!step(s)) return std::nullopt;
    return checked_child(key_row(s), key_path);
}

std::optional<KeyRow> Transaction::subkey_at(KeyId key, std::string_view key_path, DWORD index) {
    auto *s = hive_.statement(Hive::kSubkeyAt);
    bind_int(s, 1, key);
    bind_int(s, 2, index);
    if (!step(s)) return std::nullopt;
    return checked_child(key_row(s), key_path);
}

std::optional<ValueView> Transaction::value_after(KeyId key, int64_t seq) {
    if (cached_) return cached_value_after(key, seq);
    auto *s = hive_.statement(Hive::kValueAfter);
    bind_int(s, 1, key);
    bind_int(s, 2, seq);
    if (!step(s)) return std::nullopt;
    return value_view(s);
}

// A walk reads ahead: one statement fills the cache with the next values.
std::optional<ValueView> Transaction::cached_value_after(KeyId key, int64_t seq) {
    constexpr int kReadAhead = 64;
    auto found = hive_.next_value_cache_.find({key, seq});
    if (found == hive_.next_value_cache_.end()) {
        auto *s = hive_.statement(Hive::kValueBatch);
        bind_int(s, 1, key);
        bind_int(s, 2, seq);
        bind_int(s, 3, kReadAhead);
        int64_t previous = seq;
        int rows = 0;
        while (step(s)) {
            ValueView v = value_view(s);
            hive_.next_value_cache_[{key, previous}] =
                Hive::CachedValue{true, v.type, std::string(v.name),
                                  std::string(reinterpret_cast<const char *>(v.data), v.size), v.seq};
            previous = v.seq;
            ++rows;
        }
        if (rows < kReadAhead) hive_.next_value_cache_[{key, previous}] = Hive::CachedValue{};
        found = hive_.next_value_cache_.find({key, seq});
    }
    const Hive::CachedValue &v = found->second;
    if (!v.present) return std::nullopt;
    return ValueView{v.name, v.type, reinterpret_cast<const BYTE *>(v.data.data()), static_cast<DWORD>(v.data.size()),
                     v.seq};
}

std::optional<ValueView> Transaction::value_at(KeyId key, DWORD index) {
    auto *s = hive_.statement(Hive::kValueAt);
    bind_int(s, 1, key);
    bind_int(s, 2, index);
    if (!step(s)) return std::nullopt;
    return value_view(s);
}

KeySummary Transaction::summary(KeyId key) {
    auto *s = hive_.statement(Hive::kSummary);
    bind_int(s, 1, key);
    step(s);
    auto column = [s](int i) { return static_cast<DWORD>(sqlite3_column_int64(s, i)); };
    return {column(0), column(1), column(2), column(3), column(4), column(5)};
}

// ---- opening and the schema -----------------------------------------------------------

std::shared_ptr<Hive> Hive::open(const std::filesystem::path &file, bool create, mode_t mode, LONG &status,
                                 uid_t owner) {
    // Made and checked here rather than by SQLite, so that the mode is the
    // hive's own and a file somebody else planted or can change is refused.
    bool created = false;
    int fd = open_owned_file(file, O_RDONLY, create, mode, owner, created);
    if (fd < 0) {
        status = errno == EACCES || errno == EROFS || errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    close(fd);
    std::shared_ptr<Hive> hive(new Hive(file, access(file.c_str(), W_OK) == 0));
    status = hive->connect();
    if (status != ERROR_SUCCESS) return nullptr;
    return hive;
}

Hive::~Hive() { disconnect(); }

void Hive::disconnect() {
    if (generation_ != fork_generation()) return;  // inherited across fork(): the parent still uses it
    for (auto *&s : statements_) {
        sqlite3_finalize(s);
        s = nullptr;
    }
    watch_.detach();
    sqlite3_close(db_);
    db_ = nullptr;
    if (!copy_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(copy_.parent_path(), error);  // a failed connect's
        copy_.clear();
    }
}

bool Hive::view_outdated() const {
    return (immutable_ && wal_present()) || (!copy_.empty() && present(file_.string() + "-shm"));
}

LONG Hive::connect() {
    // A connection inherited across fork() is abandoned, never closed, so
    // that the parent's locks and WAL stay untouched.
    db_ = nullptr;
    for (auto *&s : statements_) s = nullptr;
    generation_ = fork_generation();
    writable_ = access(file_.c_str(), W_OK) == 0;  // a child may have changed its user
    watch_.detach();
    drop_cache();
    // A reader that may not create the WAL and its index cannot read through
    // them when they are missing (an outside client removed them on close,
    // or the hive was copied).  Then the whole hive is in its file, and it
    // is read as it stands until a writer brings the WAL back.
    immutable_ = !writable_ && !wal_present();
    // One whose WAL is there without its index, which it may not make
    // (SQLite cannot read a WAL without one), reads a private copy of both
    // until a writer brings the index back.
    if (!writable_ && !immutable_ && !present(file_.string() + "-shm") && access(file_.parent_path().c_str(), W_OK) != 0)
        copy_ = private_copy(file_);
    int flags = (writable_ ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX |
                SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_URI;
    std::string name = immutable_ ? immutable_uri(file_) : copy_.empty() ? file_.string() : copy_.string();
    int code = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK) {
        LONG status = status_from_sqlite(code);
        sqlite3_close(db_);
        db_ = nullptr;
        return status;
    }
    sqlite3_busy_timeout(db_, kBusyMilliseconds);
    if (writable_) {
        // Keeping the WAL and its index after the last writer closes lets
        // users without write access read the machine hive.
        int persist = 1;
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    // Processes that open a new hive at the same moment take turns, so that
    // one of them sets the journal mode and the schema and the others see it.
    // The lock is taken on the folder: opening and closing the hive file
    // itself would drop the POSIX locks SQLite holds on it.
    int turn = writable_ ? ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (turn >= 0) flock(turn, LOCK_EX);
    struct TurnEnd {
        int fd;
        ~TurnEnd() {
            if (fd >= 0) close(fd);
        }
    } turn_end{turn};
    try {
        // Another program's database is left exactly as it is: it is told
        // apart before the journal mode, which would change its file, is set.
        if (!ours() && !(writable_ && empty())) return ERROR_BADDB;
        if (writable_) check(sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr));
        // Every commit survives the death of its process at once; the WAL
        // reaches the disk at checkpoints, as Windows flushes hives lazily.
        check(sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr));
        if (writable_) sqlite3_wal_hook(db_, after_commit, nullptr);
        LONG status = prepare_schema();
        // The copy is open, its WAL read into its index: its names can go
        // now, so that not even a killed process leaves it behind.
        if (!copy_.empty()) {
            std::error_code error;
            std::filesystem::remove_all(copy_.parent_path(), error);
        }
        return status;
    } catch (const SqliteFailure &failure) {
        return status_from_sqlite(failure.code);
    }
}

namespace {

int64_t pragma_number(sqlite3 *db, const char *sql) {
    sqlite3_stmt *s = nullptr;
    check(sqlite3_prepare_v2(db, sql, -1, &s, nullptr));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> owner(s, sqlite3_finalize);
    return step(s) ? sqlite3_column_int64(s, 0) : 0;
}

}  // namespace

bool Hive::ours() {
    return pragma_number(db_, "PRAGMA application_id") == kApplicationId &&
           pragma_number(db_, "PRAGMA user_version") == kSchemaVersion;
}

bool Hive::empty() {
    return pragma_number(db_, "PRAGMA application_id") == 0 &&
           pragma_number(db_, "SELECT count(*) FROM sqlite_master") == 0;
}

LONG Hive::prepare_schema() {
    if (ours()) return ERROR_SUCCESS;
    // Anything but a fresh, empty database is somebody else's file, or a
    // damaged hive: it is reported and left as it is.
    if (!empty() || !writable_) return ERROR_BADDB;
    check(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
    try {
        if (!ours()) {
            if (!empty()) throw SqliteFailure{SQLITE_NOTADB};
            check(sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr));
            sqlite3_stmt *root = nullptr;
            check(sqlite3_prepare_v2(db_, "INSERT INTO keys VALUES (1, NULL, '', '', '', ?1)", -1, &root, nullptr));
            std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> owner(root, sqlite3_finalize);
            bind_int(root, 1, filetime_now());
            step(root);
            check(sqlite3_exec(db_, "PRAGMA application_id=1364346183; PRAGMA user_version=1", nullptr, nullptr,
                               nullptr));
        }
        check(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return ERROR_SUCCESS;
}
static_assert(kApplicationId == 1364346183);

// ---- running an operation --------------------------------------------------------------

LONG Hive::read(const std::function<LONG(Transaction &)> &steps) { return run(false, steps); }

LONG Hive::write(const std::function<LONG(Transaction &)> &steps) {
    if (!writable_) return ERROR_ACCESS_DENIED;
    return run(true, steps);
}

void Hive::drop_cache() {
    cache_tag_.reset();
    key_cache_.clear();
    value_cache_.clear();
    next_value_cache_.clear();
}

void Hive::reset_statements() {
    // Only a statement stopped short of its end still holds a read snapshot.
    for (auto *s : statements_)
        if (s && sqlite3_stmt_busy(s)) sqlite3_reset(s);
}

bool Hive::wal_present() const {
    struct stat st {};
    return ::stat((file_.string() + "-wal").c_str(), &st) == 0;
}

LONG Hive::run(bool durable, const std::function<LONG(Transaction &)> &steps) {
    std::lock_guard lock(mutex_);
    if (view_outdated()) disconnect();  // a writer is back: read through the WAL and its index
    if (generation_ != fork_generation() || !db_) {
        LONG status = connect();
        if (status != ERROR_SUCCESS) return status;
    }
    // A read may use the cache when no commit has come since it was filled;
    // the header is taken before the read, so anything read is at least as
    // new as the tag it is filed under.
    std::optional<WalHeader> before;
    if (!durable && watch_.attach(db_)) before = watch_.header();
    if (!before || before != cache_tag_) {
        drop_cache();
        cache_tag_ = before;
    }
    Transaction transaction(*this, !durable && before.has_value());
    bool open = false;
    LONG status;
    try {
        if (durable) {
            step(statement(kBeginImmediate));
            open = true;
        }
        status = steps(transaction);
        if (open) {
            if (status == ERROR_SUCCESS) {
                // A statement still on a row keeps the read transaction open
                // past the commit, and the WAL checkpoint that follows a
                // commit then fails: the WAL would only ever grow.
                reset_statements();
                step(statement(kCommit));
            } else {
                step(statement(kRollback));
            }
            open = false;
        }
    } catch (const SqliteFailure &failure) {
        status = status_from_sqlite(failure.code);
    } catch (const std::bad_alloc &) {
        status = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (open) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    // A statement left stepping would hold its read snapshot, and with it the WAL.
    reset_statements();
    if (durable) drop_cache();
    // A writer that came during a read of the bare file may have changed it
    // under the read: read again through the WAL.
    if (view_outdated()) {
        disconnect();
        return run(durable, steps);
    }
    return status;
}

int64_t filetime_now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

}  // namespace quarn::win32::registry
