// File attributes and the facts of a file: GetFileAttributesA/W and
// SetFileAttributesA/W over stat(2), chmod(2) and the user.DOSATTRIB
// extended attribute.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "kernel32/dos_path.h"
#include "kernel32/file_facts.h"
#include "kernel32/file_object.h"
#include "kernel32/host_error.h"
#include "machine/volume_kinds.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

constexpr char kDosAttributeName[] = "user.DOSATTRIB";
constexpr uint64_t kEpochDifference = 116444736000000000ull;

// `fd` -1 reads the attribute by name (an O_PATH descriptor cannot read it).
DWORD stored_attributes(int fd, const std::string &path) {
    char text[64];
    ssize_t n = fd >= 0 ? fgetxattr(fd, kDosAttributeName, text, sizeof text - 1)
                        : getxattr(path.c_str(), kDosAttributeName, text, sizeof text - 1);
    if (n <= 2) return 0;
    text[n] = '\0';
    if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return 0;
    return static_cast<DWORD>(std::strtoul(text + 2, nullptr, 16)) & kStoredAttributes;
}

// Writes the stored attributes (none: the extended attribute goes); false with errno set.
bool store_attributes(const std::string &path, DWORD stored) {
    if (!stored) return removexattr(path.c_str(), kDosAttributeName) == 0 || errno == ENODATA;
    char text[16];
    int length = std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(stored));
    return setxattr(path.c_str(), kDosAttributeName, text, static_cast<size_t>(length) + 1, 0) == 0;
}

}  // namespace

FILETIME file_time_of(int64_t seconds, long nanoseconds) {
    uint64_t value = static_cast<uint64_t>(seconds * 10000000 + nanoseconds / 100) + kEpochDifference;
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

timespec timespec_of(const FILETIME &time) {
    int64_t value = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) -
                    static_cast<int64_t>(kEpochDifference);
    int64_t seconds = value / 10000000, rest = value % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    return timespec{static_cast<time_t>(seconds), static_cast<long>(rest * 100)};
}

DWORD attributes_of(const struct stat &st, int fd, const std::string &path) {
    DWORD attributes = stored_attributes(fd, path);
    if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

namespace {

bool facts_of(int statx_result, const struct statx &sx, int xattr_fd, const std::string &path, FileFacts &facts) {
    if (statx_result == -1) return fail_with_errno(errno);
    struct stat st {};
    st.st_mode = sx.stx_mode;
    facts.attributes = attributes_of(st, xattr_fd, path);
    auto time_of = [](const statx_timestamp &t) { return file_time_of(t.tv_sec, t.tv_nsec); };
    facts.write = time_of(sx.stx_mtime);
    facts.access = time_of(sx.stx_atime);
    facts.creation = sx.stx_mask & STATX_BTIME ? time_of(sx.stx_btime) : facts.write;
    facts.size = S_ISDIR(sx.stx_mode) ? 0 : sx.stx_size;
    facts.links = sx.stx_nlink;
    facts.index = sx.stx_ino;
    facts.volume_serial = volume_serial(sx.stx_dev_major, sx.stx_dev_minor);
    return true;
}

constexpr unsigned kFactsMask = STATX_BASIC_STATS | STATX_BTIME;

}  // namespace

bool file_facts(int fd, bool path_only, const std::string &path, FileFacts &facts) {
    struct statx sx {};
    int rc = fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, kFactsMask, &sx) : statx(AT_FDCWD, path.c_str(), 0, kFactsMask, &sx);
    return facts_of(rc, sx, path_only ? -1 : fd, path, facts);
}

bool file_facts_in(int directory_fd, const char *name, const std::string &path, FileFacts &facts) {
    struct statx sx {};
    return facts_of(statx(directory_fd, name, 0, kFactsMask, &sx), sx, -1, path, facts);
}

DWORD attributes_at(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == -1) {
        fail_with_errno(errno);
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes_of(st, -1, path);
}

bool set_attributes_at(const std::string &path, DWORD attributes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == -1) return fail_with_errno(errno);
    mode_t mode = st.st_mode & 07777;
    mode_t wanted = attributes & FILE_ATTRIBUTE_READONLY ? mode & ~0222 : mode | S_IWUSR;
    DWORD stored = attributes & kStoredAttributes;
    // Only a change is written: a file system without user extended
    // attributes then fails only a request for hidden, system or archive,
    // and that request changes nothing.
    if (stored != stored_attributes(-1, path)) {
        // User extended attributes need write permission, which the owner of a
        // read-only file lends itself for the change.
        bool lent = !(mode & S_IWUSR) && ::chmod(path.c_str(), mode | S_IWUSR) == 0;
        if (lent) mode |= S_IWUSR;
        if (!store_attributes(path, stored)) {
            int error = errno;
            if (lent) ::chmod(path.c_str(), mode & ~S_IWUSR);
            return fail_with_errno(error);
        }
    }
    if (wanted != mode && ::chmod(path.c_str(), wanted) == -1) return fail_with_errno(errno);
    return true;
}

}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

DWORD GetFileAttributesA(LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes_at(unix_path_of(name));
}

DWORD GetFileAttributesW(LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    auto path = unix_path_of_dos(name);
    return path ? attributes_at(*path) : INVALID_FILE_ATTRIBUTES;
}

BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return set_attributes_at(unix_path_of(name), attributes);
}

BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto path = unix_path_of_dos(name);
    return path && set_attributes_at(*path, attributes);
}

}  // extern "C"
