// Windows share modes between processes.  Every open of a file that asks for
// read, write or delete access holds a lock file in /dev/shm named after the
// file's device and inode, with one shared OFD lock per access it holds and
// per access it refuses to share.  A later open tests those bytes, so it fails
// with ERROR_SHARING_VIOLATION exactly where Windows would; the kernel drops
// the locks of a process that dies.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

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

    // Holds `access` on the file (device, inode) while sharing `share_mode`
    // (FILE_SHARE_* bits) with others.  Null with ERROR_SHARING_VIOLATION when
    // an open elsewhere conflicts, or with the error of the lock file.
    static std::unique_ptr<ShareHold> take(dev_t device, ino_t inode, ShareAccess access, DWORD share_mode);

    // Releases every hold of this process still open, as exit(3) does
    // through atexit: handles that a program never closed leave no lock
    // file behind.
    static void release_all_at_exit();

private:
    ShareHold(int fd, std::string path);
    // Drops this process's bytes and, as the last holder, removes the lock
    // file; only in the process that took the hold (a forked child shares its
    // parent's open file description, and so its locks).
    void release();
    int fd_;
    std::string path_;
    pid_t owner_;
    bool released_ = false;
};

}  // namespace quarn::win32
