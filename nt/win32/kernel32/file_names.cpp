// Calls on file names: DeleteFileW and MoveFileW.  Both take delete access on
// the file first, so an open elsewhere that does not share delete makes them
// fail with ERROR_SHARING_VIOLATION, as on Windows.  Share modes live on the
// file, so a caller who can neither read nor write it cannot see them, and
// goes ahead as Linux lets it.
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

// Delete access on the file `st` describes at `path`, held in `hold` for the
// length of one call: none for a link (the link goes, not its target) or for
// a file the caller cannot open.  False with the last error set when another
// open refuses it.
bool hold_for_delete(const std::string &path, const struct stat &st, std::unique_ptr<ShareHold> &hold) {
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return true;
    int common = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = open(path.c_str(), O_RDONLY | common);
    if (fd == -1 && errno == EACCES && S_ISREG(st.st_mode)) fd = open(path.c_str(), O_WRONLY | common);
    if (fd == -1) return true;
    struct stat opened {};
    bool same = fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino;
    if (same)
        hold = ShareHold::take(fd, ShareAccess{false, false, true}, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    close(fd);
    if (!same) SetLastError(ERROR_FILE_NOT_FOUND);  // replaced under our feet
    return same && hold;
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
    std::unique_ptr<ShareHold> hold;
    if (!hold_for_delete(*path, st, hold)) return FALSE;
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
    std::unique_ptr<ShareHold> hold;
    if (!hold_for_delete(*from, st, hold)) return FALSE;
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
