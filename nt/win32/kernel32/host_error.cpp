// errno to Win32 error codes, for every call of the layer that reaches Linux.
#include "kernel32/host_error.h"

#include <cerrno>

namespace quarn::win32 {

DWORD win32_error_from_errno(int error) {
    switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EAGAIN: return ERROR_SHARING_VIOLATION;
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    default: return ERROR_GEN_FAILURE;
    }
}

BOOL fail_with_path_errno(int error) {
    // Making an entry, a missing name is the folder it goes in.
    SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : win32_error_from_errno(error));
    return FALSE;
}

BOOL fail_with_errno(int error) {
    SetLastError(win32_error_from_errno(error));
    return FALSE;
}

}  // namespace quarn::win32
