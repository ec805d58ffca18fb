// Files: CreateFileA and CreateFileW with Windows' dispositions, directories
// under backup semantics and share modes held between processes
// (share_modes.h); ReadFile, WriteFile and GetFileSize.  CreateFileA takes
// the layer's own Unix paths as well as drive paths; CreateFileW takes every
// DOS form (dos_path.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "kernel32/dos_path.h"
#include "kernel32/file_object.h"
#include "kernel32/host_error.h"
#include "machine/dos_paths.h"
#include "ntdll/object_namespace.h"

namespace quarn::win32 {
namespace {

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

int open_retrying(const std::string &path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd == -1 && errno == EINTR);
    return fd;
}

HANDLE open_file(const std::string &path, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES security,
                 DWORD disposition, DWORD flags_and_attributes) {
    int flags = open_flags(disposition);
    if (flags == -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ShareAccess wanted = share_access_of(access);
    bool writes = wanted.write;
    bool reads = wanted.read;
    struct stat st {};
    bool existed = ::stat(path.c_str(), &st) == 0;
    bool directory = existed && S_ISDIR(st.st_mode);
    if (directory && (!(flags_and_attributes & FILE_FLAG_BACKUP_SEMANTICS) || writes || (flags & O_TRUNC))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && !directory && writes && !(st.st_mode & S_IWUSR)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && (flags & O_TRUNC) && !directory) writes = true;
    if (directory) flags = 0;
    // A handle without data access still holds its share modes, which needs
    // a descriptor that can lock; opens for attributes alone get O_PATH.
    int data = (reads && writes) ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    mode_t mode = mode_from_security(security, 0666);
    if (flags & O_CREAT && flags_and_attributes & FILE_ATTRIBUTE_READONLY) mode &= ~0222;
    int fd = open_retrying(path, flags | data, mode);
    if (fd == -1 && errno == EACCES && !reads && !writes && !(flags & O_CREAT)) fd = open_retrying(path, O_PATH, 0);
    if (fd == -1) {
        SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : win32_error_from_errno(errno));
        return INVALID_HANDLE_VALUE;
    }
    if (!existed && security) fchmod(fd, mode);
    if (fstat(fd, &st) == -1) {
        DWORD error = win32_error_from_errno(errno);
        ::close(fd);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    std::unique_ptr<ShareHold> share;
    if (wanted.any() || (flags & O_TRUNC)) {
        if (flags & O_TRUNC) wanted.write = true;
        share = ShareHold::take(st.st_dev, st.st_ino, wanted, share_mode);
        if (!share) {
            DWORD error = GetLastError();
            ::close(fd);
            if (!existed) ::unlink(path.c_str());
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    if ((flags & O_TRUNC) && ftruncate(fd, 0) == -1) {
        DWORD error = win32_error_from_errno(errno);
        ::close(fd);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    try {
        HANDLE handle = make_handle(std::make_shared<FileObject>(fd, writes, path, std::move(share)));
        bool reports_existing = existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
        SetLastError(reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc &) {
        ::close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
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
                   DWORD disposition, DWORD flags, HANDLE) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return open_file(unix_path_of(name), access, share_mode, attributes, disposition, flags);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto path = unix_path_of_dos(name);
    if (!path) return INVALID_HANDLE_VALUE;
    return open_file(*path, access, share_mode, attributes, disposition, flags);
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
            return fail_with_errno(errno == EBADF ? EACCES : errno);
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read_count) *read_count = done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPVOID overlapped) {
    auto object = typed_object<FileObject>(file);
    if (!object) return FALSE;
    if (overlapped || (!buffer && count)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    while (done < count) {
        ssize_t n = ::write(object->fd(), static_cast<const char *>(buffer) + done, count - done);
        if (n == -1 && errno == EINTR) continue;
        if (n == -1) {
            if (written) *written = done;
            return fail_with_errno(errno == EBADF ? EACCES : errno);
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
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

}  // extern "C"
