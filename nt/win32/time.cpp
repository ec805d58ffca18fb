// System time as FILETIME and SYSTEMTIME, and the time zone from the host's
// zone database (TZ or /etc/localtime).
#include <time.h>

#include <cstring>

#include "winbase.h"

namespace {

constexpr uint64_t kEpochDifference = 116444736000000000ull;  // 1601-01-01 to 1970-01-01 in 100 ns

// The month (1-12) of the year's first change into (to_daylight) or out of
// daylight saving time, or 0 when the zone has none.
WORD transition_month(int year, bool to_daylight) {
    tm probe{};
    probe.tm_year = year - 1900;
    probe.tm_mday = 1;
    probe.tm_hour = 12;
    probe.tm_isdst = -1;
    time_t t = mktime(&probe);
    tm previous{};
    localtime_r(&t, &previous);
    for (int day = 1; day <= 366; ++day) {
        time_t next = t + static_cast<time_t>(day) * 86400;
        tm now{};
        localtime_r(&next, &now);
        if (now.tm_isdst > 0 && previous.tm_isdst <= 0 && to_daylight) return static_cast<WORD>(now.tm_mon + 1);
        if (now.tm_isdst <= 0 && previous.tm_isdst > 0 && !to_daylight) return static_cast<WORD>(now.tm_mon + 1);
        previous = now;
    }
    return 0;
}

}  // namespace

extern "C" {

void GetSystemTimeAsFileTime(LPFILETIME time) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t value = static_cast<uint64_t>(now.tv_sec) * 10000000u + static_cast<uint64_t>(now.tv_nsec) / 100u +
                     kEpochDifference;
    time->dwLowDateTime = static_cast<DWORD>(value);
    time->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

void GetSystemTime(LPSYSTEMTIME time) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    time->wYear = static_cast<WORD>(utc.tm_year + 1900);
    time->wMonth = static_cast<WORD>(utc.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
    time->wDay = static_cast<WORD>(utc.tm_mday);
    time->wHour = static_cast<WORD>(utc.tm_hour);
    time->wMinute = static_cast<WORD>(utc.tm_min);
    time->wSecond = static_cast<WORD>(utc.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

// Bias is minutes west of UTC in standard time; a zone with daylight saving
// time gets transition months in StandardDate and DaylightDate.
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    std::memset(info, 0, sizeof *info);
    tzset();
    time_t now = ::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    int year = local.tm_year + 1900;
    WORD to_daylight = transition_month(year, true);
    WORD to_standard = transition_month(year, false);
    // The standard offset: the zone's offset at a moment outside daylight time.
    long standard_gmtoff = local.tm_gmtoff;
    long daylight_gmtoff = local.tm_gmtoff;
    if (to_daylight || to_standard) {
        for (int month = 0; month < 12; ++month) {
            tm probe{};
            probe.tm_year = year - 1900;
            probe.tm_mon = month;
            probe.tm_mday = 15;
            probe.tm_hour = 12;
            probe.tm_isdst = -1;
            time_t t = mktime(&probe);
            tm got{};
            localtime_r(&t, &got);
            if (got.tm_isdst > 0)
                daylight_gmtoff = got.tm_gmtoff;
            else
                standard_gmtoff = got.tm_gmtoff;
        }
    }
    info->Bias = static_cast<LONG>(-standard_gmtoff / 60);
    const char *names[2] = {tzname[0], tzname[1]};
    for (int i = 0; i < 2; ++i) {
        WCHAR *out = i == 0 ? info->StandardName : info->DaylightName;
        for (int j = 0; names[i] && names[i][j] && j < 31; ++j) out[j] = static_cast<WCHAR>(names[i][j]);
    }
    if (!to_daylight && !to_standard) return TIME_ZONE_ID_UNKNOWN;
    info->StandardDate.wMonth = to_standard;
    info->StandardDate.wDay = 1;
    info->DaylightDate.wMonth = to_daylight;
    info->DaylightDate.wDay = 1;
    info->StandardBias = 0;
    info->DaylightBias = static_cast<LONG>(-(daylight_gmtoff - standard_gmtoff) / 60);
    return local.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

}  // extern "C"
