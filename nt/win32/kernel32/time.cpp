// System time as FILETIME and SYSTEMTIME, and the time zone from the host's
// zone database (TZ or /etc/localtime).
#include <time.h>

#include <cstring>

#include "winbase.h"

namespace {

constexpr uint64_t kEpochDifference = 116444736000000000ull;  // 1601-01-01 to 1970-01-01 in 100 ns

// What the zone does in one year: the months (1-12) in which it enters and
// leaves daylight saving time (0 when it never does) and its offsets east of
// UTC in standard and in daylight time, read at noon of every day.
struct ZoneYear {
    WORD to_daylight = 0;
    WORD to_standard = 0;
    long standard_gmtoff = 0;
    long daylight_gmtoff = 0;
};

ZoneYear scan_year(int year, long current_gmtoff) {
    ZoneYear zone{0, 0, current_gmtoff, current_gmtoff};
    tm probe{};
    probe.tm_year = year - 1900;
    probe.tm_mday = 1;
    probe.tm_hour = 12;
    probe.tm_isdst = -1;
    time_t noon = mktime(&probe);
    tm previous{};
    localtime_r(&noon, &previous);
    for (int day = 0; day <= 366; ++day) {
        time_t t = noon + static_cast<time_t>(day) * 86400;
        tm now{};
        localtime_r(&t, &now);
        if (now.tm_isdst > 0) zone.daylight_gmtoff = now.tm_gmtoff;
        else zone.standard_gmtoff = now.tm_gmtoff;
        if (now.tm_isdst > 0 && previous.tm_isdst <= 0 && !zone.to_daylight)
            zone.to_daylight = static_cast<WORD>(now.tm_mon + 1);
        if (now.tm_isdst <= 0 && previous.tm_isdst > 0 && !zone.to_standard)
            zone.to_standard = static_cast<WORD>(now.tm_mon + 1);
        previous = now;
    }
    return zone;
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
    ZoneYear zone = scan_year(local.tm_year + 1900, local.tm_gmtoff);
    info->Bias = static_cast<LONG>(-zone.standard_gmtoff / 60);
    const char *names[2] = {tzname[0], tzname[1]};
    for (int i = 0; i < 2; ++i) {
        WCHAR *out = i == 0 ? info->StandardName : info->DaylightName;
        for (int j = 0; names[i] && names[i][j] && j < 31; ++j) out[j] = static_cast<WCHAR>(names[i][j]);
    }
    if (!zone.to_daylight && !zone.to_standard) return TIME_ZONE_ID_UNKNOWN;
    info->StandardDate.wMonth = zone.to_standard;
    info->StandardDate.wDay = 1;
    info->DaylightDate.wMonth = zone.to_daylight;
    info->DaylightDate.wDay = 1;
    info->StandardBias = 0;
    info->DaylightBias = static_cast<LONG>(-(zone.daylight_gmtoff - zone.standard_gmtoff) / 60);
    return local.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

}  // extern "C"
