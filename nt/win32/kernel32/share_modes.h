// Windows share modes between processes, held on the opened file itself.
// Every open that asks for read, write or delete access holds open-file-
// description locks near the largest offset a file can have, where no
// program reads, writes or locks: one per access it holds and per access it
// refuses to share.  A later open tests them, so it fails with
// ERROR_SHARING_VIOLATION exactly where Windows would.  Only someone who can
// open a file can hold its share state, and the kernel drops the locks with
// the last descriptor of the open (a process that dies), leaving nothing.
#pragma once

#include <unistd.h>

#include <memory>

#include "winbase.h"

namespace quarn::win32 {

// The accesses that share modes govern.
struct ShareAccess {
    bool read = false, write = false, remove = false;
    bool any() const { return read || write || remove; }
};

// The share-mode-relevant part of a Win32 access mask.
ShareAccess share_access_of(DWORD access);

class ShareHold {
public:
    ~ShareHold();
    ShareHold(const ShareHold &) = delete;
    ShareHold &operator=(const ShareHold &) = delete;

    // Holds `access` on the file open as `fd` (read, write or both; a
    // folder read-only) while sharing `share_mode` (FILE_SHARE_* bits) with
    // others, for as long as the hold lives, whatever becomes of `fd`.  Null
    // with ERROR_SHARING_VIOLATION when an open elsewhere conflicts, or with
    // the error of the lock.
    static std::unique_ptr<ShareHold> take(int fd, ShareAccess access, DWORD share_mode);

private:
    explicit ShareHold(int fd) : fd_(fd), owner_(getpid()) {}
    int fd_;  // the open's own description, shared through a duplicate
    pid_t owner_;
};

}  // namespace quarn::win32
