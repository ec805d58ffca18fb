// Files: CreateFileA and CreateFileW with Windows' dispositions, directories
// under backup semantics and share modes held between processes
// (share_modes.h); ReadFile, WriteFile and GetFileSize.  CreateFileA takes
// the layer's own Unix paths as well as drive paths; CreateFileW takes every
// DOS form (dos_path.h).  A file or folder whose access list keeps it to its
// owner, or whose descriptor names a group of the machine, is reached without
// following links, and when it exists already it must be the caller's (or
// root's, or that group's) and closed to others: anything else is refused
// with ERROR_ACCESS_DENIED and named in an event.  CreateDirectoryA.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "kernel32/console_terminal.h"
#include "kernel32/dos_path.h"
#include "kernel32/file_object.h"
#include "kernel32/host_error.h"
#include "machine/dos_paths.h"
#include "machine/owned_files.h"
#include "ntdll/object_namespace.h"

namespace quarn::win32 {
namespace {

int open_retrying(const std::string &path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd == -1 && errno == EINTR);
    return fd;
}

// Opens `path` for `data` (O_RDONLY, O_WRONLY, O_RDWR or O_PATH) under the
// disposition's creation rule, telling whether the file was created; -1 with
// errno set.  Truncation is left to the caller, after the share check.
int open_disposed(const std::string &path, int data, DWORD disposition, mode_t mode, bool &created) {
    created = false;
    if (disposition == CREATE_NEW) {
        created = true;
        return open_retrying(path, data | O_CREAT | O_EXCL, mode);
    }
    for (;;) {
        int fd = open_retrying(path, data, 0);
        if (fd != -1 || errno != ENOENT || disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) return fd;
        fd = open_retrying(path, (data == O_PATH ? O_RDONLY : data) | O_CREAT | O_EXCL, mode);
        if (fd != -1 || errno != EEXIST) {
            created = fd != -1;
            return fd;
        }
        // Someone else created it meanwhile: open theirs.
    }
}

// The same for a file kept to its owner or group (owned_files.h).
int open_owned_disposed(const std::string &path, int data, DWORD disposition, mode_t mode, gid_t group,
                        bool &created) {
    bool may_create = disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING;
    int fd = open_owned_file(path, data, may_create, mode, geteuid(), created, group);
    if (fd != -1 && !created && disposition == CREATE_NEW) {
        ::close(fd);
        errno = EEXIST;
        return -1;
    }
    return fd;
}

HANDLE open_file(const std::string &path, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES security,
                 DWORD disposition, DWORD flags_and_attributes) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ShareAccess wanted = share_access_of(access);
    bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    bool writes = wanted.write || truncates;
    if (truncates) wanted.write = true;
    // An open without data access takes an O_PATH descriptor, which needs no
    // permission on the file; one that holds share modes needs a real one.
    int data = (wanted.read && writes) ? O_RDWR : writes ? O_WRONLY : (wanted.any() ? O_RDONLY : O_PATH);
    mode_t mode = mode_from_security(security, 0666);
    if (flags_and_attributes & FILE_ATTRIBUTE_READONLY) mode &= ~0222;
    bool created = false;
    gid_t group = group_of_security(security);
    bool owners_only = security && (!(mode & (S_IRWXG | S_IRWXO)) || group != kNoGroup);
    if (owners_only && data == O_PATH) data = O_RDONLY;  // its owner may read it
    int fd = owners_only ? open_owned_disposed(path, data, disposition, mode, group, created)
                         : open_disposed(path, data, disposition, mode, created);
    if (fd == -1 && !owners_only && errno == EACCES && data == O_RDONLY && !wanted.read) {
        // Delete access alone: the share modes are held without reading the file.
        data = O_PATH;
        fd = open_disposed(path, data, disposition, mode, created);
    }
    if (fd == -1) {
        SetLastError(errno == EEXIST           ? ERROR_FILE_EXISTS
                     : owners_only && errno == EPERM ? ERROR_INVALID_PRIMARY_GROUP
                                                     : win32_error_from_errno(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto refuse = [&](DWORD error) {
        ::close(fd);
        if (created) ::unlink(path.c_str());
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    };
    struct stat st {};
    if (fstat(fd, &st) == -1) return refuse(win32_error_from_errno(errno));
    if (created && security) fchmod(fd, mode);
    bool directory = S_ISDIR(st.st_mode);
    if (directory && (!(flags_and_attributes & FILE_FLAG_BACKUP_SEMANTICS) || writes))
        return refuse(ERROR_ACCESS_DENIED);
    // A read-only file is written by nobody, administrators included.
    if (!created && !directory && writes && !(st.st_mode & S_IWUSR)) return refuse(ERROR_ACCESS_DENIED);
    std::unique_ptr<ShareHold> share;
    if (wanted.any() && data != O_PATH) {
        share = ShareHold::take(fd, wanted, share_mode);
        if (!share) return refuse(GetLastError());
    }
    if (truncates && !created && st.st_size != 0 && ftruncate(fd, 0) == -1) return refuse(win32_error_from_errno(errno));
    try {
        HANDLE handle = make_handle(std::make_shared<FileObject>(fd, writes, path, std::move(share), data == O_PATH));
        bool reports_existing = !created && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
        SetLastError(reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc &) {
        return refuse(ERROR_NOT_ENOUGH_MEMORY);
    }
}

// ReadFile and WriteFile: the whole count unless the file ends first (reading).
template <typename Buffer, typename Call>
BOOL transfer(HANDLE file, Buffer *buffer, DWORD count, LPDWORD done_out, LPVOID overlapped, Call call) {
    auto object = typed_object<FileObject>(file);
    if (!object) return FALSE;
    if (overlapped || (!buffer && count)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    while (done < count) {
        ssize_t n = call(object->fd(), buffer + done, count - done);
        if (n == -1 && errno == EINTR) continue;
        if (n == -1) {
            if (done_out) *done_out = done;
            // A descriptor without that access (or an O_PATH one) is a handle without it.
            return fail_with_errno(errno == EBADF ? EACCES : errno);
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (done_out) *done_out = done;
    return TRUE;
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
    if (strcasecmp(name, "CONIN$") == 0) return open_console_input();
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
    return transfer(file, static_cast<char *>(buffer), count, read_count, overlapped, ::read);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPVOID overlapped) {
    return transfer(file, static_cast<const char *>(buffer), count, written, overlapped, ::write);
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

}  // extern "C"
