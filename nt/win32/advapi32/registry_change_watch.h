// Tells, without a system call, whether a hive may have changed since a
// moment: SQLite's WAL-index header (the start of the "-shm" file, two
// copies written in turn) changes with every commit and every restart of
// the WAL, so equal headers mean no commit in between.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <optional>

namespace quarn::win32::registry {

using WalHeader = std::array<unsigned char, 48>;

class ChangeWatch {
public:
    // Finds the index that the connection `db` has mapped; false when it has
    // none yet.  The mapping is SQLite's own: opening the file a second time
    // would drop the locks SQLite holds on it when that descriptor closed.
    bool attach(sqlite3 *db);
    // The connection was replaced: attach anew.
    void detach() { map_ = nullptr; }
    // The header now, or nothing while it is being written or not mapped.
    std::optional<WalHeader> header() const;

private:
    const volatile unsigned char *map_ = nullptr;
};

// Counts fork() calls in this process's line, so that an object can tell
// that it was inherited without asking the kernel for the pid.
unsigned fork_generation();

}  // namespace quarn::win32::registry
