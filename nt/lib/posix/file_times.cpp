// The time helpers of the file functions (file_times.h) and the time setters
// unix_nt_utimes and unix_nt_utime.
#include "posix/file_times.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>

#include "nt.h"
#include "ntposix.h"
#include "paths/paths.h"

namespace {

struct Placeholder {
    std::mutex lock;
    bool computed = false;
    long zone = 0;
    int daylight = 0;
    int64_t value = 0;
};

// The error of the last failed step, mapped; -1.
int fail_with_doserrno() {
    errno = nt_win32error2errno(static_cast<DWORD>(_doserrno));
    return -1;
}

}  // namespace

bool stores_local_times(const WCHAR *wide_path) {
    // Only drive paths have a volume to ask: "\\?\X:\".
    if (std::char_traits<char16_t>::compare(wide_path, u"\\\\?\\", 4) != 0 || !wide_path[4] || wide_path[5] != u':')
        return false;
    char16_t letter = wide_path[4] >= u'a' && wide_path[4] <= u'z' ? wide_path[4] - 32 : wide_path[4];
    if (letter < u'A' || letter > u'Z') return false;
    // A volume's file system is asked once per drive and process, as its times are read often.
    static std::atomic<int> known[26];  // 0 not asked, 1 UTC, 2 local
    std::atomic<int> &answer = known[letter - u'A'];
    if (int kept = answer.load(std::memory_order_relaxed)) return kept == 2;
    WCHAR root[] = {letter, u':', u'\\', 0};
    WCHAR file_system[16];
    bool local = false;
    if (GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, file_system, 16)) {
        std::u16string_view name(file_system);
        local = name.starts_with(u"FAT") || (name == u"CDFS" && (nt_osinfo() & (NT_OS_NT3 | NT_OS_NT4)));
        answer.store(local ? 2 : 1, std::memory_order_relaxed);
    }
    return local;
}

int64_t daylight_correction(const FILETIME &time) {
    FILETIME local_now, local_then;
    SYSTEMTIME utc, local;
    if (!FileTimeToLocalFileTime(&time, &local_now) || !FileTimeToSystemTime(&time, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) || !SystemTimeToFileTime(&local, &local_then))
        return 0;
    return static_cast<int64_t>(file_time_value(local_now) - file_time_value(local_then));
}

int64_t fat_epoch_placeholder() {
    static Placeholder placeholder;
    std::lock_guard guard(placeholder.lock);
    if (!placeholder.computed || placeholder.zone != timezone || placeholder.daylight != daylight) {
        tm epoch{};
        epoch.tm_year = 80;
        epoch.tm_mday = 1;
        epoch.tm_isdst = -1;
        placeholder.value = static_cast<int64_t>(mktime(&epoch));  // sets timezone and daylight
        placeholder.zone = timezone;
        placeholder.daylight = daylight;
        placeholder.computed = true;
    }
    return placeholder.value;
}

extern "C" NT_API int unix_nt_utimes(const char *path, const struct nt_timeval *times) {
    struct nt_timeval now[2];
    if (!times) {
        nt_gettimeofday(&now[0], nullptr);
        now[1] = now[0];
        times = now;
    }
    WCHAR wide[kWidePathChars];
    if (nt_get_wide_path(path, wide, sizeof wide) != 0) return -1;
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    auto open_for_writing = [&] {
        return CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    DWORD cleared_from = INVALID_FILE_ATTRIBUTES;  // the attributes before read-only was cleared
    auto put_back = [&] {
        if (cleared_from != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(wide, cleared_from);
    };
    HANDLE file = open_for_writing();
    if (file == INVALID_HANDLE_VALUE) {
        _doserrno = GetLastError();
        if (_doserrno != ERROR_ACCESS_DENIED) return fail_with_doserrno();
        DWORD attributes = GetFileAttributesW(wide);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            if (!SetFileAttributesW(wide, attributes & ~FILE_ATTRIBUTE_READONLY)) {
                _doserrno = GetLastError();
                return fail_with_doserrno();
            }
            cleared_from = attributes;
            file = open_for_writing();
            if (file == INVALID_HANDLE_VALUE) _doserrno = GetLastError();
        }
        if (file == INVALID_HANDLE_VALUE && _doserrno != ERROR_ACCESS_DENIED) {
            put_back();
            return fail_with_doserrno();
        }
        if (file == INVALID_HANDLE_VALUE) {
            file = CreateFileW(wide, FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | READ_CONTROL | SYNCHRONIZE, kShareAll,
                               nullptr, OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                _doserrno = GetLastError();
                put_back();
                return fail_with_doserrno();
            }
        }
    }
    auto to_file_time = [](const nt_timeval &t) {
        return (static_cast<uint64_t>(static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_usec)) * 10 + kFileTimeEpoch;
    };
    FILETIME access = file_time_from(to_file_time(times[0]));
    FILETIME write = file_time_from(to_file_time(times[1]));
    if (stores_local_times(wide)) {
        access = file_time_from(file_time_value(access) - daylight_correction(access));
        write = file_time_from(file_time_value(write) - daylight_correction(write));
    }
    bool set = SetFileTime(file, nullptr, &access, &write);
    if (!set) _doserrno = GetLastError();
    CloseHandle(file);
    put_back();
    return set ? 0 : fail_with_doserrno();
}

extern "C" NT_API int unix_nt_utime(const char *path, const struct nt_utimbuf *times) {
    int64_t now = 0;
    if (!times) unix_nt_time(&now);
    struct nt_timeval both[2] = {
        {static_cast<int32_t>(times ? times->actime : now), 0},
        {static_cast<int32_t>(times ? times->modtime : now), 0},
    };
    return unix_nt_utimes(path, both);
}
