// The file calls on long paths: unix_nt_open, _fopen, _close, _fclose,
// _access, _chmod, _mkdir and _rmdir over the runtime's wide calls, and
// unix_nt_unlink and unix_nt_rename, which cope with read-only files and with
// files that another program holds open for a moment.
#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "nt.h"
#include "ntposix.h"
#include "paths/paths.h"
#include "runtime_io.h"

namespace {

constexpr size_t kLongestMode = 10;  // with its terminator
constexpr int kRenameAttempts = 10;
constexpr DWORD kRenameWait = 200;

int fail_with_doserrno() {
    errno = nt_win32error2errno(static_cast<DWORD>(_doserrno));
    return -1;
}

}  // namespace

extern "C" {

NT_API int unix_nt_open(const char *path, int flags, int mode) {
    WCHAR wide[kWidePathChars];
    if (nt_get_wide_path(path, wide, sizeof wide) != 0) return -1;
    return _wopen(wide, flags, mode);
}

NT_API FILE *unix_nt_fopen(const char *path, const char *mode) {
    if (mode[0] == 'w') {
        // Opened without truncation and emptied after, so that the file and its attributes stay.
        int flags = (std::strchr(mode, '+') ? O_RDWR : O_WRONLY) | O_CREAT;
        int fd = unix_nt_open(path, flags, 0600);
        if (fd == -1) return nullptr;
        if (nt_ftruncate64(fd, 0) != 0) {
            int error = errno;
            _close(fd);
            errno = error;
            return nullptr;
        }
        FILE *stream = _fdopen(fd, mode);
        if (!stream) {
            int error = errno;
            _close(fd);
            errno = error;
        }
        return stream;
    }
    size_t length = std::strlen(mode);
    if (length + 1 > kLongestMode) {
        errno = EINVAL;
        return nullptr;
    }
    WCHAR wide_mode[kLongestMode];
    for (size_t i = 0; i <= length; ++i) wide_mode[i] = static_cast<unsigned char>(mode[i]);
    WCHAR wide[kWidePathChars];
    if (nt_get_wide_path(path, wide, sizeof wide) != 0) return nullptr;
    return _wfopen(wide, wide_mode);
}

NT_API int unix_nt_close(int fd) { return _close(fd); }
NT_API int unix_nt_fclose(FILE *stream) { return _fclose(stream); }

NT_API int unix_nt_access(const char *path, int mode) {
    WCHAR wide[kWidePathChars];
    return nt_get_wide_path(path, wide, sizeof wide) != 0 ? -1 : _waccess(wide, mode);
}

NT_API int unix_nt_chmod(const char *path, int mode) {
    WCHAR wide[kWidePathChars];
    return nt_get_wide_path(path, wide, sizeof wide) != 0 ? -1 : _wchmod(wide, mode);
}

NT_API int unix_nt_mkdir(const char *path) {
    WCHAR wide[kWidePathChars];
    return nt_get_wide_path(path, wide, sizeof wide) != 0 ? -1 : _wmkdir(wide);
}

NT_API int unix_nt_rmdir(const char *path) {
    WCHAR wide[kWidePathChars];
    return nt_get_wide_path(path, wide, sizeof wide) != 0 ? -1 : _wrmdir(wide);
}

NT_API int unix_nt_unlink(const char *path) {
    WCHAR wide[kWidePathChars];
    if (nt_get_wide_path(path, wide, sizeof wide) != 0) return -1;
    if (DeleteFileW(wide)) return 0;
    DWORD attributes = GetFileAttributesW(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        _doserrno = GetLastError();
    } else {
        if (SetFileAttributesW(wide, FILE_ATTRIBUTE_NORMAL) && DeleteFileW(wide)) return 0;
        DWORD error = GetLastError();
        SetFileAttributesW(wide, attributes);
        _doserrno = error;
    }
    switch (_doserrno) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: errno = EACCES; break;
    default: errno = EINVAL; break;
    }
    return -1;
}

NT_API int unix_nt_rename(const char *old_path, const char *new_path) {
    WCHAR from[kWidePathChars], to[kWidePathChars];
    if (nt_get_wide_path(old_path, from, sizeof from) != 0 || nt_get_wide_path(new_path, to, sizeof to) != 0) return -1;
    if (MoveFileW(from, to)) return 0;
    _doserrno = GetLastError();
    if (_doserrno == ERROR_ALREADY_EXISTS) {
        if (unix_nt_unlink(new_path) != 0) return -1;
        if (MoveFileW(from, to)) return 0;
        _doserrno = GetLastError();
    }
    if (_doserrno == ERROR_ACCESS_DENIED) {
        DWORD attributes = GetFileAttributesW(from);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
            SetFileAttributesW(from, attributes & ~FILE_ATTRIBUTE_READONLY)) {
            if (MoveFileW(from, to)) {
                SetFileAttributesW(to, attributes);
                return 0;
            }
            _doserrno = GetLastError();
            SetFileAttributesW(from, attributes);
        }
    }
    for (int attempt = 0; attempt < kRenameAttempts && _doserrno == ERROR_SHARING_VIOLATION; ++attempt) {
        if (MoveFileW(from, to)) return 0;
        _doserrno = GetLastError();
        if (_doserrno == ERROR_SHARING_VIOLATION) Sleep(kRenameWait);
    }
    return fail_with_doserrno();
}

}  // extern "C"
