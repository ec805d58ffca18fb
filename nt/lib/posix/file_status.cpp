// unix_nt_stati64 and unix_nt_fstati64: file status with exact UTC times,
// the mode rule (directory, read-only, executable extensions), and the
// directory rule for names the runtime cannot stat and for drive and share
// roots, which count as directories of the FAT epoch.
#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "nt.h"
#include "ntposix.h"
#include "paths/paths.h"
#include "posix/file_times.h"
#include "runtime_io.h"

namespace {

constexpr uint16_t kDirectory = 0x4000, kRegular = 0x8000, kRead = 0x100, kWrite = 0x80, kExecute = 0x40;

// The times and attributes a status is computed from.
struct Found {
    DWORD attributes = 0;
    FILETIME creation{}, access{}, write{};
    bool corrected = false;  // the volume keeps local times
};

bool same_ignoring_case(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? a[i] + 32 : a[i];
        if (x != b[i]) return false;
    }
    return true;
}

uint16_t mode_of(const WCHAR *wide, DWORD attributes) {
    WCHAR stripped[kWidePathChars];
    std::u16string_view path = nt_strip_prefix_from_wide_path(wide, stripped, sizeof stripped) == 0 ? stripped : wide;
    std::u16string_view after_drive = path.size() >= 2 && path[1] == u':' ? path.substr(2) : path;
    bool root = after_drive.empty() || after_drive == u"\\" || after_drive == u"/";
    uint16_t mode = root || (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kDirectory | kExecute : kRegular;
    mode |= kRead;
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) mode |= kWrite;
    size_t dot = path.find_last_of(u'.');
    size_t separator = path.find_last_of(u"\\/");
    if (dot != std::u16string_view::npos && (separator == std::u16string_view::npos || dot > separator)) {
        std::u16string_view extension = path.substr(dot);
        for (std::u16string_view runnable : {u".exe", u".cmd", u".bat", u".com"})
            if (same_ignoring_case(extension, runnable)) mode |= kExecute;
    }
    return mode | ((mode & 0x1C0) >> 3) | ((mode & 0x1C0) >> 6);
}

int not_found() {
    errno = ENOENT;
    _doserrno = ERROR_FILE_NOT_FOUND;
    return -1;
}

// "\\server\share" with at most a trailing separator.
bool is_share_root(std::u16string_view p) {
    if (p.size() < 5 || p[0] != u'\\' || p[1] != u'\\') return false;
    size_t server_end = p.find_first_of(u"\\/", 2);
    if (server_end == std::u16string_view::npos || server_end == 2) return false;
    size_t share_end = p.find_first_of(u"\\/", server_end + 1);
    if (share_end == server_end + 1) return false;
    return share_end == std::u16string_view::npos || share_end + 1 == p.size();
}

int fill_by_directory_rule(const WCHAR *wide, struct nt_stat64 *st) {
    std::u16string_view path(wide);
    if (path.size() > 3 && path.substr(3).find_first_of(u"?*") != std::u16string_view::npos) return not_found();
    WIN32_FIND_DATAW data;
    uint64_t size = 0;
    DWORD attributes;
    int64_t time;
    HANDLE search = FindFirstFileW(wide, &data);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        attributes = data.dwFileAttributes;
        size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        time = -1;
    } else {
        if (path.find_first_of(u"./\\") == std::u16string_view::npos) return not_found();
        WCHAR stripped[kWidePathChars];
        if (nt_strip_prefix_from_wide_path(wide, stripped, sizeof stripped) != 0) return not_found();
        std::u16string_view root(stripped);
        if ((root.size() != 3 && !is_share_root(root)) || GetDriveTypeW(stripped) < DRIVE_REMOVABLE) return not_found();
        attributes = FILE_ATTRIBUTE_DIRECTORY;
        time = fat_epoch_placeholder();
    }
    *st = nt_stat64{};
    st->st_nlink = 1;
    st->st_size = static_cast<int64_t>(size);
    st->st_mode = mode_of(wide, attributes);
    st->st_atime64 = st->st_mtime64 = st->st_ctime64 = time;
    return 0;
}

int64_t seconds_of(const FILETIME &time, bool corrected) {
    uint64_t value = file_time_value(time);
    if (corrected) value += daylight_correction(time);
    return static_cast<int64_t>((value - kFileTimeEpoch) / 10000000u);
}

// Replaces the runtime's times with the UTC seconds of the file times.
void recompute_times(struct nt_stat64 *st, const Found &found) {
    if (!st->st_atime64 && !st->st_mtime64 && !st->st_ctime64) return;
    int64_t placeholder = fat_epoch_placeholder();
    auto kept = [placeholder](int64_t t) { return t == 0 || t == placeholder; };
    if (!kept(st->st_mtime64)) st->st_mtime64 = seconds_of(found.write, found.corrected);
    auto from = [&](int64_t &t, const FILETIME &time) {
        if (kept(t)) return;
        t = file_time_value(time) ? seconds_of(time, found.corrected) : st->st_mtime64;
    };
    from(st->st_atime64, found.access);
    from(st->st_ctime64, found.creation);
}

}  // namespace

extern "C" NT_API int unix_nt_stati64(const char *path, struct nt_stat64 *st) {
    WCHAR wide[kWidePathChars];
    if (nt_get_wide_path(path, wide, sizeof wide) != 0) return -1;
    HANDLE file = CreateFileW(wide, FILE_READ_ATTRIBUTES | FILE_READ_EA | READ_CONTROL,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        _doserrno = error;
        errno = error == ERROR_INVALID_NAME ? ENOENT : nt_win32error2errno(error);
        return -1;
    }
    Found found;
    bool looked_up = false;
    if (stores_local_times(wide)) {
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(path, &data);
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            found = Found{data.dwFileAttributes, data.ftCreationTime, data.ftLastAccessTime, data.ftLastWriteTime, true};
            looked_up = true;
        }
    }
    if (!looked_up) {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(file, &info)) {
            DWORD error = GetLastError();
            _doserrno = error;
            errno = nt_win32error2errno(error);
            CloseHandle(file);
            return -1;
        }
        found = Found{info.dwFileAttributes, info.ftCreationTime, info.ftLastAccessTime, info.ftLastWriteTime, false};
    }
    int result;
    if (found.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        CloseHandle(file);
        result = fill_by_directory_rule(wide, st);
    } else {
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), O_RDONLY);
        if (fd == -1) {
            CloseHandle(file);
            return -1;
        }
        result = _fstat64(fd, st);
        if (result != 0 && errno == EINVAL) result = fill_by_directory_rule(wide, st);
        _close(fd);
    }
    if (result == 0) recompute_times(st, found);
    return result;
}

extern "C" NT_API int unix_nt_fstati64(int fd, struct nt_stat64 *st) { return _fstat64(fd, st); }
