// Share modes as OFD locks on a lock file per file (see share_modes.h).
// Byte 0 of the lock file serialises the test-and-take of an open and the
// removal of the lock file by the last closer; bytes 1-3 mean "an open holds
// read / write / delete access", bytes 4-6 "an open refuses to share read /
// write / delete".
#include "kernel32/share_modes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_set>

#include "advapi.h"
#include "kernel32/host_error.h"

namespace quarn::win32 {
namespace {

constexpr off_t kGuard = 0;
constexpr off_t kHolds = 1;    // + 0 read, 1 write, 2 delete
constexpr off_t kRefuses = 4;  // + 0 read, 1 write, 2 delete

bool lock_byte(int fd, short type, off_t offset, off_t length = 1, bool wait = false) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = length;
    int rc;
    do {
        rc = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
    } while (rc == -1 && errno == EINTR);
    return rc == 0;
}

// True when an open elsewhere holds a lock on the byte at `offset`.
bool held_elsewhere(int fd, off_t offset, off_t length = 1) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = offset;
    probe.l_len = length;
    if (fcntl(fd, F_OFD_GETLK, &probe) == -1) return true;
    return probe.l_type != F_UNLCK;
}

std::string lock_file_name(dev_t device, ino_t inode) {
    char name[96];
    std::snprintf(name, sizeof name, "/dev/shm/quarn-share.%llx.%llx", static_cast<unsigned long long>(device),
                  static_cast<unsigned long long>(inode));
    return name;
}

// Opens the lock file and takes its guard byte; -1 with the last error set.
// A lock file that its last user removed meanwhile is opened afresh.
int open_guarded(const std::string &path) {
    for (;;) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd == -1) {
            fail_with_errno(errno);
            return -1;
        }
        struct stat held {}, named {};
        if (fstat(fd, &held) == -1 || !S_ISREG(held.st_mode)) {
            close(fd);
            SetLastError(ERROR_ACCESS_DENIED);
            return -1;
        }
        // Every user of the machine shares the lock file, whatever the umask.
        if ((held.st_mode & 0777) != 0666 && held.st_uid == geteuid()) fchmod(fd, 0666);
        if (!lock_byte(fd, F_WRLCK, kGuard, 1, true)) {
            fail_with_errno(errno);
            close(fd);
            return -1;
        }
        if (stat(path.c_str(), &named) == 0 && named.st_ino == held.st_ino && named.st_dev == held.st_dev) return fd;
        close(fd);
    }
}

// The holds of this process, for the release at exit.  Never destroyed:
// exit handlers and static destructors may still close handles.
std::mutex &holds_lock() {
    static auto *lock = new std::mutex;
    return *lock;
}
std::unordered_set<ShareHold *> &live_holds() {
    static auto *holds = new std::unordered_set<ShareHold *>;
    return *holds;
}

}  // namespace

ShareAccess share_access_of(DWORD access) {
    ShareAccess result;
    result.read = access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA | FILE_EXECUTE);
    result.write = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
    result.remove = access & (DELETE | GENERIC_ALL);
    return result;
}

std::unique_ptr<ShareHold> ShareHold::take(dev_t device, ino_t inode, ShareAccess access, DWORD share_mode) {
    std::string path = lock_file_name(device, inode);
    int fd = open_guarded(path);
    if (fd == -1) return nullptr;
    const bool wants[3] = {access.read, access.write, access.remove};
    const bool refuses[3] = {!(share_mode & FILE_SHARE_READ), !(share_mode & FILE_SHARE_WRITE),
                             !(share_mode & FILE_SHARE_DELETE)};
    bool conflict = false;
    for (int k = 0; k < 3 && !conflict; ++k)
        conflict = (wants[k] && held_elsewhere(fd, kRefuses + k)) || (refuses[k] && held_elsewhere(fd, kHolds + k));
    bool taken = !conflict;
    for (int k = 0; k < 3 && taken; ++k) {
        if (wants[k]) taken = lock_byte(fd, F_RDLCK, kHolds + k);
        if (taken && refuses[k]) taken = lock_byte(fd, F_RDLCK, kRefuses + k);
    }
    if (!taken) {
        SetLastError(conflict ? ERROR_SHARING_VIOLATION : win32_error_from_errno(errno));
        close(fd);  // drops the guard and any byte taken
        return nullptr;
    }
    lock_byte(fd, F_UNLCK, kGuard);
    static std::once_flag at_exit;
    std::call_once(at_exit, [] { std::atexit(release_all_at_exit); });
    return std::unique_ptr<ShareHold>(new ShareHold(fd, std::move(path)));
}

ShareHold::ShareHold(int fd, std::string path) : fd_(fd), path_(std::move(path)), owner_(getpid()) {
    std::lock_guard guard(holds_lock());
    live_holds().insert(this);
}

ShareHold::~ShareHold() {
    {
        std::lock_guard guard(holds_lock());
        live_holds().erase(this);
    }
    release();
    close(fd_);
}

void ShareHold::release() {
    if (released_ || getpid() != owner_) return;
    released_ = true;
    // The last holder removes the lock file, under the guard so that no
    // opener takes bytes in it meanwhile (an opener that waited on the guard
    // sees the name gone and starts over).
    lock_byte(fd_, F_UNLCK, kHolds, 6);
    if (lock_byte(fd_, F_WRLCK, kGuard, 1, true) && !held_elsewhere(fd_, kHolds, 6)) unlink(path_.c_str());
    lock_byte(fd_, F_UNLCK, kGuard);
}

void ShareHold::release_all_at_exit() {
    std::lock_guard guard(holds_lock());
    for (ShareHold *hold : live_holds()) hold->release();
}

}  // namespace quarn::win32
