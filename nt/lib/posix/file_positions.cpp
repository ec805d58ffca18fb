// Lengths and 64-bit positions: nt_ftruncate64, nt_truncate64, nt_fseeko64,
// nt_ftello64, nt_fgetpos64 and nt_fsetpos64.
#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

#include "nt.h"
#include "ntposix.h"
#include "runtime_io.h"

extern "C" {

NT_API int nt_ftruncate64(int fd, int64_t length) {
    intptr_t handle = _get_osfhandle(fd);
    if (handle == -1) return -1;
    if (_lseeki64(fd, length, SEEK_SET) < 0) return -1;
    LONG high = static_cast<LONG>(length >> 32);
    HANDLE file = reinterpret_cast<HANDLE>(handle);
    if (SetFilePointer(file, static_cast<LONG>(length), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != ERROR_SUCCESS) {
        _doserrno = GetLastError();
    } else if (SetEndOfFile(file)) {
        return 0;
    } else {
        _doserrno = GetLastError();
    }
    errno = nt_win32error2errno(static_cast<DWORD>(_doserrno));
    return -1;
}

NT_API int nt_truncate64(const char *path, int64_t length) {
    int fd = unix_nt_open(path, O_RDWR, 0);
    if (fd == -1) return -1;
    int result = nt_ftruncate64(fd, length);
    int error = errno;
    _close(fd);
    errno = error;
    return result;
}

NT_API int nt_fgetpos64(FILE *stream, nt_fpos64_t *position) {
    off_t at = ftello(stream);
    if (at == -1) return -1;
    *position = at;
    return 0;
}

NT_API int nt_fsetpos64(FILE *stream, const nt_fpos64_t *position) { return fseeko(stream, *position, SEEK_SET); }

NT_API int64_t nt_ftello64(FILE *stream) {
    nt_fpos64_t position;
    return nt_fgetpos64(stream, &position) == 0 ? position : -1;
}

NT_API int nt_fseeko64(FILE *stream, int64_t offset, int origin) {
    nt_fpos64_t position;
    switch (origin) {
    case 0: return nt_fsetpos64(stream, &offset);
    case 1:
        if (nt_fgetpos64(stream, &position) != 0) return -1;
        position += offset;
        return nt_fsetpos64(stream, &position);
    case 2:
        // Through the stream, so that its buffer and ftello64 follow the move.
        if (fflush(stream) != 0) return -1;
        clearerr(stream);
        return fseeko(stream, offset, SEEK_END);
    default: errno = EINVAL; return -1;
    }
}

}  // extern "C"
