// The clock functions: gettimeofday (strictly increasing within the process,
// with a time-zone answer cached per minute), unix_nt_time, times and sleep.
#include <atomic>
#include <cerrno>

#include "nt.h"
#include "ntposix.h"
#include "win32.h"

namespace {

constexpr uint64_t kEpochDifference = 116444736000000000ull;  // 1601 -> 1970 in 100 ns

std::atomic<uint64_t> last_microseconds{0};

struct ZoneAnswer {
    SYSTEMTIME computed_at{};  // UTC year, month, day, hour and minute
    int32_t minutes_west = 0;
    int32_t daylight = 0;
    bool valid = false;
};
ZoneAnswer zone;

uint64_t file_time_now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

bool same_minute(const SYSTEMTIME &a, const SYSTEMTIME &b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute;
}

void fill_zone(struct nt_timezone *tz) {
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    if (!zone.valid || !same_minute(utc, zone.computed_at)) {
        TIME_ZONE_INFORMATION info;
        DWORD state = GetTimeZoneInformation(&info);
        if (state != TIME_ZONE_ID_INVALID) {
            zone.minutes_west = info.Bias + (info.StandardDate.wMonth ? info.StandardBias : 0);
            zone.daylight = state == TIME_ZONE_ID_DAYLIGHT && info.DaylightDate.wMonth && info.DaylightBias != 0;
            zone.computed_at = utc;
            zone.valid = true;
        }
    }
    tz->tz_minuteswest = zone.minutes_west;
    tz->tz_dsttime = zone.daylight;
}

}  // namespace

extern "C" NT_API int nt_gettimeofday(struct nt_timeval *tv, struct nt_timezone *tz) noexcept {
    if (!tv) return 0;
    uint64_t now = (file_time_now() - kEpochDifference + 5) / 10;
    uint64_t previous = last_microseconds.load();
    uint64_t value;
    do {
        value = now > previous ? now : previous + 1;
    } while (!last_microseconds.compare_exchange_weak(previous, value));
    tv->tv_sec = static_cast<int32_t>(value / 1000000);
    tv->tv_usec = static_cast<int32_t>(value % 1000000);
    if (tz) fill_zone(tz);
    return 0;
}

extern "C" NT_API int64_t unix_nt_time(int64_t *t) {
    auto seconds = static_cast<int64_t>((file_time_now() - kEpochDifference) / 10000000u);
    if (t) *t = seconds;
    return seconds;
}

extern "C" NT_API int32_t nt_times(struct nt_tms *buffer) noexcept {
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) {
        DWORD error = GetLastError();
        _doserrno = error;
        errno = nt_win32error2errno(error);
        return -1;
    }
    auto ms = [](const FILETIME &f) {
        return static_cast<int32_t>(((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000);
    };
    buffer->tms_utime = buffer->tms_cutime = ms(user);
    buffer->tms_stime = buffer->tms_cstime = ms(kernel);
    return static_cast<int32_t>(GetTickCount());
}

extern "C" NT_API unsigned int nt_sleep(unsigned int seconds) {
    Sleep(seconds * 1000);
    return 0;
}
