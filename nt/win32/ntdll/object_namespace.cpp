// Named objects as files under /dev/shm.  Holders keep an open-file-description
// read lock on byte 0 of their object's file; a creator that can take the
// write lock knows nobody else holds the object and starts it afresh.  OFD
// locks end with the descriptor (and so with the process), and converting a
// write lock to a read lock is atomic, so no other creator can slip in
// between a new object's set-up and its first shared hold.
//
// The last holder to let go, in the process that opened it, takes the write
// lock and removes the file, at the close or at the process's exit.  An
// opener that gets its lock on a file that is no longer the one the name
// leads to has raced with such a removal, and starts again.  In the sticky
// /dev/shm only the file's owner or root may remove it; a file left behind
// by another user is started afresh by its next creator.
//
// A file that is not everybody's must belong to the caller or to root and be
// closed to others, or, for a creator that names a group, may be that group's;
// anything else is refused (ERROR_ACCESS_DENIED), named in an event and left
// alone.
#include "ntdll/object_namespace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

#include "kernel32/host_error.h"
#include "machine/machine.h"
#include "machine/owned_files.h"

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

int open_existing(const std::string &path, int access = O_RDWR) {
    int fd;
    do {
        fd = ::open(path.c_str(), access | O_CLOEXEC | O_NOFOLLOW);
    } while (fd == -1 && errno == EINTR);
    return fd;
}

// The name still leads to the file behind `fd` (no last holder removed it meanwhile).
bool still_named(int fd, const std::string &path) {
    struct stat held {}, named {};
    return fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

// An object that is not everybody's must be the caller's or root's.  A
// section's file names the file it maps, so only a trusted user's is ever
// followed, whatever its mode.
bool trusted(int fd, const std::string &path, ObjectKind kind, mode_t mode, gid_t group = kNoGroup) {
    if (kind == ObjectKind::mutex && (mode & 0666) == 0666) return true;
    return owned_file_is_sound(fd, path, geteuid(), group);
}

// The entries this process holds, so that its exit lets go of them as a close would.
struct Holders {
    std::mutex mutex;
    std::set<NamespaceEntry *> entries;
};

Holders &holders() {
    static auto *instance = new Holders;  // never destroyed: entries may outlive static destructors
    return *instance;
}

void let_go_at_exit() {
    auto &h = holders();
    std::lock_guard lock(h.mutex);
    for (NamespaceEntry *entry : h.entries) entry->let_go();
}

void hold(NamespaceEntry *entry) {
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(let_go_at_exit); });
    auto &h = holders();
    std::lock_guard lock(h.mutex);
    h.entries.insert(entry);
}

}  // namespace

std::string namespace_file_prefix(const std::filesystem::path &prefix) {
    char head[32];
    std::snprintf(head, sizeof head, "quarn-%016llx.", static_cast<unsigned long long>(fnv1a(prefix.string())));
    return kShmRoot + std::string(head);
}

void remove_namespace_files(const std::filesystem::path &prefix) {
    std::string head = namespace_file_prefix(prefix);
    std::filesystem::path folder = std::filesystem::path(head).parent_path();
    std::string name_head = std::filesystem::path(head).filename().string();
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().filename().string().starts_with(name_head)) std::filesystem::remove(entry.path(), error);
}

std::string namespace_path(ObjectKind kind, const std::string &name) {
    const Machine *machine = Machine::current();
    std::string file = namespace_file_prefix(machine ? machine->prefix() : std::filesystem::path());
    file += kind == ObjectKind::mutex ? "m." : "s.";
    for (char c : name) {
        if (plain_character(c)) {
            file += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            file += escaped;
        }
    }
    if (file.size() - (sizeof kShmRoot - 1) > kMaxFileName) return {};
    return file;
}

NamespaceEntry::NamespaceEntry(int fd, std::string path) : fd_(fd), opener_(getpid()), path_(std::move(path)) {
    hold(this);
}

NamespaceEntry::~NamespaceEntry() {
    {
        auto &h = holders();
        std::lock_guard lock(h.mutex);
        h.entries.erase(this);
    }
    let_go();
    ::close(fd_);
}

void NamespaceEntry::let_go() {
    // A child of fork() shares the parent's lock: only the opener may judge.
    if (opener_ != getpid() || let_go_) return;
    let_go_ = true;
    if (set_lock(fd_, F_WRLCK, false) && still_named(fd_, path_)) ::unlink(path_.c_str());
}

std::unique_ptr<NamespaceEntry> NamespaceEntry::create(ObjectKind kind, const std::string &name, mode_t mode,
                                                       gid_t group, bool &existed) {
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
        if (fd != -1 && !set_created_mode(fd, mode, group)) {
            ::close(fd);
            ::unlink(path.c_str());
            SetLastError(ERROR_INVALID_PRIMARY_GROUP);
            return nullptr;
        }
        if (fd == -1 && errno != EEXIST) break;
    }
    if (fd == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    if (!trusted(fd, path, kind, mode, group)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::unique_ptr<NamespaceEntry> entry(new NamespaceEntry(fd, path));
    bool first = set_lock(fd, F_WRLCK, false);
    if (!first && ((errno != EAGAIN && errno != EACCES) || !set_lock(fd, F_RDLCK, true))) {
        entry->let_go_ = true;
        fail_with_errno(errno);
        return nullptr;
    }
    if (!still_named(fd, path)) {  // its last holder removed it as we came: start again
        entry->let_go_ = true;
        entry.reset();
        return create(kind, name, mode, group, existed);
    }
    existed = !first;
    return entry;
}

std::unique_ptr<NamespaceEntry> NamespaceEntry::open(ObjectKind kind, const std::string &name) {
    std::string path = namespace_path(kind, name);
    if (path.empty()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    int fd = open_existing(path, O_RDONLY);  // a holder only reads its record, and may not be let write
    if (fd == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    if (!trusted(fd, path, kind, 0666)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::unique_ptr<NamespaceEntry> entry(new NamespaceEntry(fd, path));
    entry->let_go_ = true;  // until it is held: a failed open removes nothing
    if (!set_lock(fd, F_RDLCK, true)) {
        fail_with_errno(errno);
        return nullptr;
    }
    if (!held_by_another(fd) || !still_named(fd, path)) {  // a leftover, or one its last holder removed
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    entry->let_go_ = false;
    return entry;
}

void NamespaceEntry::share() { set_lock(fd_, F_RDLCK, true); }

}  // namespace quarn::win32
