// Files: CreateFileA with Windows' sharing rules, CreateDirectoryA, ReadFile,
// GetFileSize and GetFileAttributesA.  A file or folder whose access list
// keeps it to its owner is reached without following links, and when it
// exists already it must be the caller's (or root's) and closed to others:
// anything else is refused with ERROR_ACCESS_DENIED and named in an event.  Sharing is a flock on the open file: an opener that
// shares nothing takes it exclusively, every other opener takes it shared, so
// the two kinds exclude each other across processes as Windows' share modes
// do, whatever access each asked for.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "machine/dos_paths.h"
#include "kernel32/console_terminal.h"
#include "machine/owned_files.h"
#include "kernel32/file_object.h"
#include "kernel32/host_error.h"
#include "ntdll/object_namespace.h"

namespace quarn::win32 {
namespace {

bool take_share_lock(int fd, bool exclusive) { return flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0; }

int open_flags(DWORD disposition) {
    switch (disposition) {
    case CREATE_NEW: return O_CREAT | O_EXCL;
    case CREATE_ALWAYS: return O_CREAT | O_TRUNC;
    case OPEN_EXISTING: return 0;
    case OPEN_ALWAYS: return O_CREAT;
    case TRUNCATE_EXISTING: return O_TRUNC;
    default: return -1;
    }
}

}  // namespace

FileObject::~FileObject() { ::close(fd_); }

std::string unix_path_of(const char *win32_path) {
    std::string path = win32_path;
    if (path.size() >= 2 && path[1] == ':') {
        if (const Machine *machine = Machine::current())
            if (auto unix_path = dos_to_unix_path(*machine, path)) return *unix_path;
    }
    for (char &c : path)
        if (c == '\\') c = '/';
    return path;
}

}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD, HANDLE) {
    int flags = open_flags(disposition);
    if (!name || flags == -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (strcasecmp(name, "CONIN$") == 0) return open_console_input();
    bool writes = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA);
    bool reads = access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA) || !writes;
    flags |= (reads && writes) ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    std::string path = unix_path_of(name);
    mode_t mode = mode_from_security(attributes, 0666);
    bool owners_only = attributes && !(mode & (S_IRWXG | S_IRWXO));
    int fd;
    bool existed = true;
    if (owners_only) {
        bool created = false;
        fd = open_owned_file(path, flags & ~(O_CREAT | O_EXCL | O_TRUNC), flags & O_CREAT, mode, geteuid(), created);
        existed = !created;
        if (fd != -1 && existed && (flags & O_EXCL)) {
            ::close(fd);
            fd = -1;
            errno = EEXIST;
        }
        if (fd != -1 && existed && (flags & O_TRUNC) && ftruncate(fd, 0) == -1) {
            ::close(fd);
            fd = -1;
        }
    } else {
        existed = ::access(path.c_str(), F_OK) == 0;
        do {
            fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
        } while (fd == -1 && errno == EINTR);
    }
    if (fd == -1) {
        SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : win32_error_from_errno(errno));
        return INVALID_HANDLE_VALUE;
    }
    if (!existed && attributes && !owners_only) fchmod(fd, mode);
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!take_share_lock(fd, share_mode == 0)) {
        ::close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    try {
        HANDLE handle = make_handle(std::make_shared<FileObject>(fd, writes, path));
        bool reports_existing = existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
        SetLastError(reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc &) {
        ::close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read_count, LPVOID overlapped) {
    auto object = typed_object<FileObject>(file);
    if (!object) return FALSE;
    if (overlapped || (!buffer && count)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    while (done < count) {
        ssize_t n = ::read(object->fd(), static_cast<char *>(buffer) + done, count - done);
        if (n == -1 && errno == EINTR) continue;
        if (n == -1) {
            if (read_count) *read_count = done;
            return fail_with_errno(errno);
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read_count) *read_count = done;
    return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
    auto object = typed_object<FileObject>(file);
    struct stat st {};
    if (!object || fstat(object->fd(), &st) == -1) {
        if (object) fail_with_errno(errno);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (high) *high = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES attributes) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path = unix_path_of(name);
    // A folder may be entered by whoever may read it.
    mode_t mode = mode_from_security(attributes, 0777);
    mode |= (mode & 0444) >> 2;
    if (attributes && !(mode & (S_IRWXG | S_IRWXO))) {
        bool made = ::mkdir(path.c_str(), mode) == 0;
        int error = errno;
        if (!made && error != EEXIST) return fail_with_path_errno(error);
        if (!ensure_owned_folder(path, mode, geteuid())) return fail_with_path_errno(errno);
        if (made) return TRUE;
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (::mkdir(path.c_str(), mode) == -1) {
        if (errno == EEXIST) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        return fail_with_path_errno(errno);
    }
    if (attributes) ::chmod(path.c_str(), mode);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st {};
    if (::stat(unix_path_of(name).c_str(), &st) == -1) {
        fail_with_errno(errno);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // extern "C"
