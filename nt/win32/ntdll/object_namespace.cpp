// Named objects as files under /dev/shm.  Holders keep an open-file-description
// read lock on byte 0 of their object's file; a creator that can take the
// write lock knows nobody else holds the object and starts it afresh.  OFD
// locks end with the descriptor (and so with the process), and converting a
// write lock to a read lock is atomic, so no other creator can slip in
// between a new object's set-up and its first shared hold.
#include "ntdll/object_namespace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "kernel32/host_error.h"
#include "machine/machine.h"

namespace quarn::win32 {
namespace {

constexpr const char kShmRoot[] = "/dev/shm/";
constexpr size_t kMaxFileName = 255;

uint64_t fnv1a(const std::string &text) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

bool plain_character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

bool set_lock(int fd, short type, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    int r;
    do {
        r = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
    } while (r == -1 && errno == EINTR);
    return r == 0;
}

// True when a descriptor other than `fd` holds a lock on the object.
bool held_by_another(int fd) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &probe) == -1) return true;  // cannot tell: assume alive
    return probe.l_type != F_UNLCK;
}

int open_existing(const std::string &path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    } while (fd == -1 && errno == EINTR);
    return fd;
}

}  // namespace

std::string namespace_path(ObjectKind kind, const std::string &name) {
    const Machine *machine = Machine::current();
    std::string prefix = machine ? machine->prefix().string() : std::string();
    char head[64];
    std::snprintf(head, sizeof head, "quarn-%016llx.%c.", static_cast<unsigned long long>(fnv1a(prefix)),
                  kind == ObjectKind::mutex ? 'm' : 's');
    std::string file = head;
    for (char c : name) {
        if (plain_character(c)) {
            file += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            file += escaped;
        }
    }
    if (file.size() > kMaxFileName) return {};
    return kShmRoot + file;
}

NamespaceEntry::~NamespaceEntry() { ::close(fd_); }

std::unique_ptr<NamespaceEntry> NamespaceEntry::create(ObjectKind kind, const std::string &name, mode_t mode,
                                                       bool &existed) {
    std::string path = namespace_path(kind, name);
    if (path.empty()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    // Open before creating: an O_CREAT open of another user's file in the
    // sticky /dev/shm is refused by protected_regular even when it may be read.
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd == -1; ++attempt) {
        fd = open_existing(path);
        if (fd != -1 || errno != ENOENT) break;
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd != -1) fchmod(fd, mode);  // the umask must not narrow what the descriptor granted
        else if (errno != EEXIST) break;
    }
    if (fd == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    std::unique_ptr<NamespaceEntry> entry(new NamespaceEntry(fd, path));
    if (set_lock(fd, F_WRLCK, false)) {
        existed = false;
        return entry;
    }
    if (errno != EAGAIN && errno != EACCES) {
        fail_with_errno(errno);
        return nullptr;
    }
    if (!set_lock(fd, F_RDLCK, true)) {
        fail_with_errno(errno);
        return nullptr;
    }
    existed = true;
    return entry;
}

std::unique_ptr<NamespaceEntry> NamespaceEntry::open(ObjectKind kind, const std::string &name) {
    std::string path = namespace_path(kind, name);
    if (path.empty()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    int fd = open_existing(path);
    if (fd == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    std::unique_ptr<NamespaceEntry> entry(new NamespaceEntry(fd, path));
    if (!set_lock(fd, F_RDLCK, true)) {
        fail_with_errno(errno);
        return nullptr;
    }
    if (!held_by_another(fd)) {  // a leftover of holders that have all gone
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return entry;
}

void NamespaceEntry::share() { set_lock(fd_, F_RDLCK, true); }

}  // namespace quarn::win32
