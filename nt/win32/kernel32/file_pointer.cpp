// SetFilePointer: the position of an open file, as Windows moves it.
#include <unistd.h>

#include <cerrno>

#include "kernel32/file_object.h"
#include "kernel32/host_error.h"

using namespace quarn::win32;

extern "C" DWORD SetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method) {
    auto object = typed_object<FileObject>(file);
    if (!object) return INVALID_SET_FILE_POINTER;
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence == -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t move = high ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32) |
                                               static_cast<uint32_t>(distance))
                        : static_cast<int64_t>(distance);
    off_t base = whence == SEEK_SET ? 0 : lseek(object->fd(), 0, whence);
    if (base < 0) {
        fail_with_errno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (move < -static_cast<int64_t>(base)) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(object->fd(), base + move, SEEK_SET);
    if (position < 0) {
        fail_with_errno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (high) *high = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    else if (position > 0xFFFFFFFEll) {
        SetLastError(ERROR_INVALID_PARAMETER);  // not expressible in 32 bits
        return INVALID_SET_FILE_POINTER;
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}
