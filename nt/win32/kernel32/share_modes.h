// Windows share modes between processes.  Every open of a file that asks for
// read, write or delete access holds a lock file in /dev/shm named after the
// file's device and inode, with one shared OFD lock per access it holds and
// per access it refuses to share.  A later open tests those bytes, so it fails
// with ERROR_SHARING_VIOLATION exactly where Windows would; the kernel drops
// the locks of a process that dies.
#pragma once

#include <sys/types.h>

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

    // Holds `access` on the file (device, inode) while sharing `share_mode`
    // (FILE_SHARE_* bits) with others.  Null with ERROR_SHARING_VIOLATION when
    // an open elsewhere conflicts, or with the error of the lock file.
    static std::unique_ptr<ShareHold> take(dev_t device, ino_t inode, ShareAccess access, DWORD share_mode);

private:
    explicit ShareHold(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

}  // namespace quarn::win32
