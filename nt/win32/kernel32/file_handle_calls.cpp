// Calls on an open file handle: GetFileInformationByHandle, SetFileTime,
// SetFilePointer and SetEndOfFile.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kernel32/file_facts.h"
#include "kernel32/file_object.h"
#include "kernel32/host_error.h"

using namespace quarn::win32;

extern "C" {

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    auto object = typed_object<FileObject>(file);
    if (!object) return FALSE;
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FileFacts facts;
    if (!file_facts(object->fd(), object->path_only(), object->path(), facts)) return FALSE;
    info->dwFileAttributes = facts.attributes;
    info->ftCreationTime = facts.creation;
    info->ftLastAccessTime = facts.access;
    info->ftLastWriteTime = facts.write;
    info->dwVolumeSerialNumber = facts.volume_serial;
    info->nFileSizeHigh = static_cast<DWORD>(facts.size >> 32);
    info->nFileSizeLow = static_cast<DWORD>(facts.size);
    info->nNumberOfLinks = facts.links;
    info->nFileIndexHigh = static_cast<DWORD>(facts.index >> 32);
    info->nFileIndexLow = static_cast<DWORD>(facts.index);
    return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME *, const FILETIME *access, const FILETIME *write) {
    auto object = typed_object<FileObject>(file);
    if (!object) return FALSE;
    timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    if (access) times[0] = timespec_of(*access);
    if (write) times[1] = timespec_of(*write);
    // A handle opened for attributes alone has no descriptor that futimens accepts.
    int rc = object->path_only() ? utimensat(AT_FDCWD, object->path().c_str(), times, 0)
                                 : futimens(object->fd(), times);
    return rc == 0 ? TRUE : fail_with_errno(errno);
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method) {
    auto object = typed_object<FileObject>(file);
    if (!object) return INVALID_SET_FILE_POINTER;
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence == -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t offset = distance_high ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<DWORD>(*distance_high)) << 32) |
                                                          static_cast<DWORD>(distance))
                                   : distance;
    off_t base = whence == SEEK_SET ? 0 : lseek(object->fd(), 0, whence);
    if (base == -1) {
        fail_with_errno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (base + offset < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(object->fd(), base + offset, SEEK_SET);
    if (position == -1) {
        fail_with_errno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (!distance_high && position > 0x7FFFFFFF) {
        // Windows cannot report the position in 32 bits; it moves nonetheless.
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (distance_high) *distance_high = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    // A low part that equals INVALID_SET_FILE_POINTER is told apart by the last error.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

BOOL SetEndOfFile(HANDLE file) {
    auto object = typed_object<FileObject>(file);
    if (!object) return FALSE;
    if (!object->writable()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    off_t position = lseek(object->fd(), 0, SEEK_CUR);
    if (position == -1 || ftruncate(object->fd(), position) == -1) return fail_with_errno(errno);
    return TRUE;
}

}  // extern "C"
