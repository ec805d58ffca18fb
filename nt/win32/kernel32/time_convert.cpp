// Conversions between file times, system times and local time:
// FileTimeToSystemTime, SystemTimeToFileTime, FileTimeToLocalFileTime (the
// bias in force now) and SystemTimeToTzSpecificLocalTime (the bias in force
// at that date), from the host's zone database.
#include <time.h>

#include "winbase.h"

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kEpochDifference = 116444736000000000;  // 1601 -> 1970 in 100 ns

int64_t value_of(const FILETIME &t) {
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

FILETIME file_time(int64_t value) {
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(static_cast<uint64_t>(value) >> 32)};
}

// The offset east of UTC, in seconds, that the host's zone has at `when`.
long offset_at(time_t when) {
    tm local{};
    return localtime_r(&when, &local) ? local.tm_gmtoff : 0;
}

}  // namespace

extern "C" {

BOOL FileTimeToSystemTime(const FILETIME *file_time_in, LPSYSTEMTIME system_time) {
    if (!file_time_in || !system_time || value_of(*file_time_in) < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t value = value_of(*file_time_in) - kEpochDifference;
    int64_t seconds = value / kUnitsPerSecond, rest = value % kUnitsPerSecond;
    if (rest < 0) {
        rest += kUnitsPerSecond;
        --seconds;
    }
    time_t t = static_cast<time_t>(seconds);
    tm utc{};
    if (!gmtime_r(&t, &utc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *system_time = SYSTEMTIME{static_cast<WORD>(utc.tm_year + 1900), static_cast<WORD>(utc.tm_mon + 1),
                              static_cast<WORD>(utc.tm_wday), static_cast<WORD>(utc.tm_mday),
                              static_cast<WORD>(utc.tm_hour), static_cast<WORD>(utc.tm_min),
                              static_cast<WORD>(utc.tm_sec), static_cast<WORD>(rest / 10000)};
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME *system_time, LPFILETIME file_time_out) {
    if (!system_time || !file_time_out || system_time->wMonth < 1 || system_time->wMonth > 12 ||
        system_time->wDay < 1 || system_time->wDay > 31 || system_time->wHour > 23 || system_time->wMinute > 59 ||
        system_time->wSecond > 59 || system_time->wMilliseconds > 999 || system_time->wYear < 1601) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    tm utc{};
    utc.tm_year = system_time->wYear - 1900;
    utc.tm_mon = system_time->wMonth - 1;
    utc.tm_mday = system_time->wDay;
    utc.tm_hour = system_time->wHour;
    utc.tm_min = system_time->wMinute;
    utc.tm_sec = system_time->wSecond;
    time_t seconds = timegm(&utc);
    if (utc.tm_mday != system_time->wDay) {  // 31 April and the like
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *file_time_out = file_time(static_cast<int64_t>(seconds) * kUnitsPerSecond + system_time->wMilliseconds * 10000 +
                               kEpochDifference);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME *file_time_in, LPFILETIME local_time) {
    if (!file_time_in || !local_time) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *local_time = file_time(value_of(*file_time_in) + static_cast<int64_t>(offset_at(time(nullptr))) * kUnitsPerSecond);
    return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION *zone, const SYSTEMTIME *utc, LPSYSTEMTIME local) {
    FILETIME at;
    if (zone || !local || !SystemTimeToFileTime(utc, &at)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    time_t when = static_cast<time_t>((value_of(at) - kEpochDifference) / kUnitsPerSecond);
    FILETIME shifted = file_time(value_of(at) + static_cast<int64_t>(offset_at(when)) * kUnitsPerSecond);
    return FileTimeToSystemTime(&shifted, local);
}

}  // extern "C"
