// The runtime's file calls over the Win32 layer.  Each descriptor that the
// runtime hands out for a handle is a duplicate of the handle's descriptor,
// kept in a table beside the handle; closing the descriptor (_close,
// _fclose) closes the handle too, so the share modes it holds end with it.
// Failures of Win32 calls set _doserrno and errno as the runtime's
// _dosmaperr does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "kernel32/dos_path.h"
#include "kernel32/file_facts.h"
#include "kernel32/file_object.h"
#include "kernel32/host_error.h"
#include "nt.h"
#include "runtime_io.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

std::mutex table_lock;
std::map<int, HANDLE> &handles() {
    static auto *table = new std::map<int, HANDLE>;  // outlives every static destructor
    return *table;
}

int fail_with_win32(DWORD error) {
    _doserrno = error;
    errno = nt_win32error2errno(error);
    return -1;
}

int fail_with_last_error() { return fail_with_win32(GetLastError()); }

// The Unix path of a wide path; nullopt with errno and _doserrno set.
std::optional<std::string> unix_path(const WCHAR *path) {
    if (!path) {
        errno = EINVAL;
        return std::nullopt;
    }
    auto result = unix_path_of_dos(path);
    if (!result) fail_with_last_error();
    return result;
}

// Removes `fd` from the table: its handle, or null when it had none.
HANDLE take_handle(int fd) {
    std::lock_guard guard(table_lock);
    auto it = handles().find(fd);
    if (it == handles().end()) return nullptr;
    HANDLE handle = it->second;
    handles().erase(it);
    return handle;
}

int result_of(int rc) {
    if (rc == -1) {
        int error = errno;
        _doserrno = win32_error_from_errno(error);
        errno = error;
    }
    return rc;
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

int _open_osfhandle(intptr_t handle, int) {
    auto object = typed_object<FileObject>(reinterpret_cast<HANDLE>(handle));
    if (!object) {
        errno = EBADF;
        return -1;
    }
    int fd = fcntl(object->fd(), F_DUPFD_CLOEXEC, 0);
    if (fd == -1) return result_of(-1);
    std::lock_guard guard(table_lock);
    auto [slot, added] = handles().emplace(fd, reinterpret_cast<HANDLE>(handle));
    if (!added) {
        // A descriptor closed behind the runtime's back: its old handle goes.
        CloseHandle(slot->second);
        slot->second = reinterpret_cast<HANDLE>(handle);
    }
    return fd;
}

intptr_t _get_osfhandle(int fd) {
    std::lock_guard guard(table_lock);
    auto it = handles().find(fd);
    if (it == handles().end()) {
        errno = EBADF;
        return -1;
    }
    return reinterpret_cast<intptr_t>(it->second);
}

int _close(int fd) {
    HANDLE handle = take_handle(fd);
    int rc = close(fd);
    if (handle) CloseHandle(handle);
    return result_of(rc);
}

int _fclose(FILE *stream) {
    if (!stream) {
        errno = EINVAL;
        return -1;
    }
    HANDLE handle = take_handle(fileno(stream));
    int rc = fclose(stream);
    if (handle) CloseHandle(handle);
    return rc == 0 ? 0 : EOF;
}

int _wopen(const WCHAR *path, int flags, int mode) {
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    int access_mode = flags & O_ACCMODE;
    DWORD access = access_mode == O_WRONLY ? GENERIC_WRITE : access_mode == O_RDWR ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    DWORD disposition = (flags & O_CREAT) ? ((flags & O_EXCL) ? CREATE_NEW : (flags & O_TRUNC) ? CREATE_ALWAYS : OPEN_ALWAYS)
                                          : (flags & O_TRUNC) ? TRUNCATE_EXISTING : OPEN_EXISTING;
    DWORD attributes = (flags & O_CREAT) && !(mode & S_IWUSR) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    HANDLE file = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail_with_last_error();
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), flags);
    if (fd == -1) {
        CloseHandle(file);
        return -1;
    }
    if (flags & O_APPEND) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_APPEND);
    return fd;
}

FILE *_fdopen(int fd, const char *mode) { return fdopen(fd, mode); }

FILE *_wfopen(const WCHAR *path, const WCHAR *mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    std::string text = utf16_to_utf8(mode);
    int flags;
    switch (text.empty() ? 0 : text[0]) {
    case 'r': flags = O_RDONLY; break;
    case 'w': flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; break;
    default: errno = EINVAL; return nullptr;
    }
    if (text.find('+') != std::string::npos) flags = (flags & ~O_ACCMODE) | O_RDWR;
    int fd = _wopen(path, flags, S_IRUSR | S_IWUSR);
    if (fd == -1) return nullptr;
    // The host's fdopen knows only the letters r, w, a, b and +.
    std::string host_mode;
    for (char c : text)
        if (c == 'r' || c == 'w' || c == 'a' || c == '+' || c == 'b') host_mode += c;
    FILE *stream = fdopen(fd, host_mode.c_str());
    if (!stream) {
        int error = errno;
        _close(fd);
        errno = error;
    }
    return stream;
}

int _waccess(const WCHAR *path, int mode) {
    auto file = unix_path(path);
    if (!file) return -1;
    DWORD attributes = attributes_at(*file);
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail_with_last_error();
    // Only a read-only file refuses anything: writing.
    if ((mode & W_OK) && (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

int _wchmod(const WCHAR *path, int mode) {
    auto file = unix_path(path);
    if (!file) return -1;
    DWORD attributes = attributes_at(*file);
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail_with_last_error();
    attributes &= ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    attributes = (mode & S_IWUSR) ? attributes & ~FILE_ATTRIBUTE_READONLY : attributes | FILE_ATTRIBUTE_READONLY;
    return set_attributes_at(*file, attributes) ? 0 : fail_with_last_error();
}

int _wmkdir(const WCHAR *path) {
    auto file = unix_path(path);
    if (!file) return -1;
    return result_of(mkdir(file->c_str(), 0777));
}

int _wrmdir(const WCHAR *path) {
    auto file = unix_path(path);
    if (!file) return -1;
    return result_of(rmdir(file->c_str()));
}

int _fstat64(int fd, struct nt_stat64 *st) {
    struct stat host {};
    if (!st) {
        errno = EINVAL;
        return -1;
    }
    if (fstat(fd, &host) == -1) return result_of(-1);
    uint16_t mode = S_ISDIR(host.st_mode) ? 0x4000 | 0x40 : 0x8000;
    mode |= 0x100;
    if (host.st_mode & S_IWUSR) mode |= 0x80;
    mode |= ((mode & 0x1C0) >> 3) | ((mode & 0x1C0) >> 6);
    *st = nt_stat64{};
    st->st_dev = static_cast<uint32_t>(host.st_dev);
    st->st_mode = mode;
    st->st_nlink = static_cast<int16_t>(host.st_nlink);
    st->st_size = S_ISDIR(host.st_mode) ? 0 : host.st_size;
    st->st_atime64 = host.st_atim.tv_sec;
    st->st_mtime64 = host.st_mtim.tv_sec;
    st->st_ctime64 = host.st_ctim.tv_sec;
    return 0;
}

int64_t _lseeki64(int fd, int64_t offset, int origin) {
    off_t position = lseek(fd, offset, origin);
    if (position == -1) result_of(-1);
    return position;
}

}  // extern "C"
