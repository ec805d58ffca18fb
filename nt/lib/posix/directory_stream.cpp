// Directory streams over the find-file search: nt_opendir, nt_readdir,
// nt_readdir_r and nt_closedir.  The directory is searched through its
// extended-length wide path, so long paths list; names come back multibyte.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "nt.h"
#include "ntposix.h"
#include "paths/paths.h"

struct nt_dir {
    int started = 0;
    WIN32_FIND_DATAA data{};
    HANDLE search = INVALID_HANDLE_VALUE;
    struct nt_dirent entry {};
};

namespace {

constexpr size_t kLongestPattern = 1024;  // bytes, with "\*.*" and the terminator
constexpr char kAllEntries[] = "\\*.*";

void set_entry(struct nt_dirent *entry, const char *name) {
    size_t length = std::strlen(name);
    std::memcpy(entry->d_name, name, length + 1);
    entry->d_namlen = static_cast<uint16_t>(length);
    entry->d_reclen = static_cast<uint16_t>(length + 5);
}

// The pattern for `path`: without a final separator, then "\*.*".
void make_pattern(const char *path, char *pattern) {
    size_t length = std::strlen(path);
    std::memcpy(pattern, path, length + 1);
    size_t last = 0;
    for (size_t i = 0; i < length;) {
        last = i;
        int step = mblen(pattern + i, MB_CUR_MAX);
        i += step > 0 ? static_cast<size_t>(step) : 1;
    }
    if (length && (pattern[last] == '/' || pattern[last] == '\\')) pattern[last] = '\0';
    std::strcat(pattern, kAllEntries);
}

}  // namespace

extern "C" {

NT_API NT_DIR *nt_opendir(const char *path) {
    if (std::strlen(path) + 4 >= kLongestPattern) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    char pattern[kLongestPattern];
    make_pattern(path, pattern);
    NT_DIR *dir = new (std::nothrow) NT_DIR;
    if (!dir) {
        errno = ENOMEM;
        return nullptr;
    }
    WCHAR wide[kWidePathChars];
    if (nt_get_wide_path(pattern, wide, sizeof wide) != 0) {
        delete dir;
        return nullptr;
    }
    WIN32_FIND_DATAW found;
    dir->search = FindFirstFileW(wide, &found);
    if (dir->search == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        _doserrno = error;
        if (error == ERROR_FILE_NOT_FOUND) return dir;  // no entries at all, as a drive root may be
        errno = nt_win32error2errno(error);
        delete dir;
        return nullptr;
    }
    WIN32_FIND_DATAA &data = dir->data;
    data.dwFileAttributes = found.dwFileAttributes;
    data.ftCreationTime = found.ftCreationTime;
    data.ftLastAccessTime = found.ftLastAccessTime;
    data.ftLastWriteTime = found.ftLastWriteTime;
    data.nFileSizeHigh = found.nFileSizeHigh;
    data.nFileSizeLow = found.nFileSizeLow;
    data.dwReserved0 = found.dwReserved0;
    data.dwReserved1 = found.dwReserved1;
    if (nt_get_thin_path(found.cFileName, data.cFileName, sizeof data.cFileName) != 0 ||
        nt_get_thin_path(found.cAlternateFileName, data.cAlternateFileName, sizeof data.cAlternateFileName) != 0) {
        int error = errno;
        FindClose(dir->search);
        delete dir;
        errno = error;
        return nullptr;
    }
    return dir;
}

NT_API struct nt_dirent *nt_readdir(NT_DIR *dir) {
    if (dir->started) {
        if (!FindNextFileA(dir->search, &dir->data)) return nullptr;
    } else {
        dir->started = 1;
        if (dir->search == INVALID_HANDLE_VALUE) return nullptr;
    }
    set_entry(&dir->entry, dir->data.cFileName);
    return &dir->entry;
}

NT_API int nt_readdir_r(NT_DIR *dir, struct nt_dirent *entry, struct nt_dirent **result) {
    WIN32_FIND_DATAA next;
    const char *name;
    if (!dir->started) {
        dir->started = 1;
        if (dir->search == INVALID_HANDLE_VALUE) {
            *result = nullptr;
            return 0;
        }
        name = dir->data.cFileName;
    } else {
        if (!FindNextFileA(dir->search, &next)) {
            *result = nullptr;
            DWORD error = GetLastError();
            _doserrno = error;
            if (error == ERROR_NO_MORE_FILES) return 0;
            errno = nt_win32error2errno(error);
            return errno;
        }
        name = next.cFileName;
    }
    set_entry(entry, name);
    *result = entry;
    return 0;
}

NT_API int nt_closedir(NT_DIR *dir) {
    if (dir->search != INVALID_HANDLE_VALUE) FindClose(dir->search);
    delete dir;
    return 0;
}

}  // extern "C"
