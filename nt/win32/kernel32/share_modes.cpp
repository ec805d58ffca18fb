// Share modes as open-file-description locks on the file itself (see
// share_modes.h).  The last 6 * 2^32 bytes of the offset range are six
// flags: "an open holds read / write / delete access" and "an open refuses
// to share read / write / delete".  An open that may read raises a flag with
// a shared lock on its first byte; one that may only write cannot take
// shared locks, so it takes an exclusive lock on a byte of the flag's own
// (tried from a pseudo-random start).  A flag is up while anybody else holds
// any byte of it.
//
// Locks of another kind than the open allows cannot be had, so no lock can
// make the test and the take one step.  An open therefore raises its flags
// first and then tests the others': of two conflicting opens at least one
// sees the other and lets go.  When two let go of each other at once, each
// tries again after a short random pause while the conflict has gone, so
// that one of them gets the file.
#include "kernel32/share_modes.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <random>

#include "advapi.h"
#include "kernel32/host_error.h"

namespace quarn::win32 {
namespace {

constexpr off_t kFlagSize = off_t{1} << 32;
constexpr int kFlags = 6;  // holds read, write, delete; refuses read, write, delete
constexpr off_t kFirstFlag = INT64_MAX - kFlags * kFlagSize + 1;
constexpr int kAttempts = 4;

off_t flag_start(int flag) { return kFirstFlag + flag * kFlagSize; }

bool set_lock(int fd, short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    int rc;
    do {
        rc = fcntl(fd, F_OFD_SETLK, &lock);
    } while (rc == -1 && errno == EINTR);
    return rc == 0;
}

// True when another open holds any byte of `flag` (or the test fails).
bool raised_elsewhere(int fd, int flag) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = flag_start(flag);
    probe.l_len = kFlagSize;
    if (fcntl(fd, F_OFD_GETLK, &probe) == -1) return true;
    return probe.l_type != F_UNLCK;
}

// Where a write-only open looks for a byte of its own in a flag.
off_t private_byte_start() {
    static std::atomic<uint64_t> counter{static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull};
    return static_cast<off_t>(1 + counter.fetch_add(0x9E3779B97F4A7C15ull) % (kFlagSize - 1));
}

bool raise_flag(int fd, bool readable, int flag) {
    if (readable) return set_lock(fd, F_RDLCK, flag_start(flag), 1);
    off_t offset = private_byte_start();
    for (int tries = 0; tries < 64; ++tries, offset = offset % (kFlagSize - 1) + 1) {
        if (set_lock(fd, F_WRLCK, flag_start(flag) + offset, 1)) return true;
        if (errno != EAGAIN && errno != EACCES) return false;
    }
    return false;
}

void lower_flags(int fd) { set_lock(fd, F_UNLCK, kFirstFlag, 0); }

struct Flags {
    bool raise[kFlags];
    // The flags of others that conflict with raising `raise`: a held access
    // meets a refusal, a refusal meets a held access.
    bool conflicts_with(int fd) const {
        for (int k = 0; k < 3; ++k)
            if ((raise[k] && raised_elsewhere(fd, 3 + k)) || (raise[3 + k] && raised_elsewhere(fd, k))) return true;
        return false;
    }
};

void short_random_pause() {
    thread_local std::minstd_rand random(static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(gettid()));
    timespec pause{0, static_cast<long>(20000 + random() % 200000)};
    nanosleep(&pause, nullptr);
}

}  // namespace

ShareAccess share_access_of(DWORD access) {
    ShareAccess result;
    result.read = access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA | FILE_EXECUTE);
    result.write = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
    result.remove = access & (DELETE | GENERIC_ALL);
    return result;
}

std::unique_ptr<ShareHold> ShareHold::take(int fd, ShareAccess access, DWORD share_mode) {
    int status = fcntl(fd, F_GETFL);
    if (status == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    bool readable = (status & O_ACCMODE) != O_WRONLY;
    Flags flags = {{access.read, access.write, access.remove, !(share_mode & FILE_SHARE_READ),
                    !(share_mode & FILE_SHARE_WRITE), !(share_mode & FILE_SHARE_DELETE)}};
    // A duplicate shares the description, and so the locks, and keeps them
    // when the caller closes its descriptor.
    int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    std::unique_ptr<ShareHold> hold(new ShareHold(own));
    for (int attempt = 0;; ++attempt) {
        for (int k = 0; k < kFlags; ++k) {
            if (flags.raise[k] && !raise_flag(own, readable, k)) {
                // A byte held against us is somebody's hold of the file.
                if (errno == EAGAIN || errno == EACCES) SetLastError(ERROR_SHARING_VIOLATION);
                else fail_with_errno(errno);
                return nullptr;  // the destructor lowers what was raised
            }
        }
        if (!flags.conflicts_with(own)) return hold;
        lower_flags(own);
        if (attempt + 1 == kAttempts) break;
        short_random_pause();
        if (flags.conflicts_with(own)) break;  // a real holder: no race to settle
    }
    SetLastError(ERROR_SHARING_VIOLATION);
    return nullptr;
}

ShareHold::~ShareHold() {
    // Other descriptors of the description (the handle's own, a section's)
    // may outlive this one: the flags go now, but only in the process that
    // raised them (a child of fork() shares the description).
    if (getpid() == owner_) lower_flags(fd_);
    close(fd_);
}

}  // namespace quarn::win32
