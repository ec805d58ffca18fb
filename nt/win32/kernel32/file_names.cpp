// Calls on file names: DeleteFileW and MoveFileW.  Both take delete access on
// the file first, so an open elsewhere that does not share delete makes them
// fail with ERROR_SHARING_VIOLATION, as on Windows.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kernel32/dos_path.h"
#include "kernel32/host_error.h"
#include "kernel32/share_modes.h"

namespace quarn::win32 {
namespace {

// Delete access on the file at `path` for the length of one call.
std::unique_ptr<ShareHold> hold_for_delete(const struct stat &st) {
    return ShareHold::take(st.st_dev, st.st_ino, ShareAccess{false, false, true},
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

BOOL DeleteFileW(LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto path = unix_path_of_dos(name);
    if (!path) return FALSE;
    struct stat st {};
    if (lstat(path->c_str(), &st) == -1) return fail_with_errno(errno);
    // Directories go with RemoveDirectory; read-only files cannot be deleted.
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto hold = hold_for_delete(st);
    if (!hold) return FALSE;
    return unlink(path->c_str()) == 0 ? TRUE : fail_with_errno(errno);
}

BOOL MoveFileW(LPCWSTR existing, LPCWSTR new_name) {
    if (!existing || !new_name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto from = unix_path_of_dos(existing);
    if (!from) return FALSE;
    auto to = unix_path_of_dos(new_name);
    if (!to) return FALSE;
    struct stat st {};
    if (lstat(from->c_str(), &st) == -1) return fail_with_errno(errno);
    auto hold = hold_for_delete(st);
    if (!hold) return FALSE;
    if (renameat2(AT_FDCWD, from->c_str(), AT_FDCWD, to->c_str(), RENAME_NOREPLACE) == 0) return TRUE;
    if (errno == EEXIST) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (errno == EXDEV) {
        SetLastError(ERROR_NOT_SAME_DEVICE);
        return FALSE;
    }
    return fail_with_errno(errno);
}

}  // extern "C"
