// Times of the file functions: file times and Unix seconds, the volumes that
// keep local times and their daylight-saving correction, and the FAT epoch
// placeholder (1980-01-01 00:00 local).
#pragma once

#include <cstdint>

#include "win32.h"

inline constexpr uint64_t kFileTimeEpoch = 116444736000000000ull;  // 1970-01-01 in 100 ns since 1601

inline uint64_t file_time_value(const FILETIME &t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
inline FILETIME file_time_from(uint64_t value) { return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)}; }

// True when the volume of the extended-length path keeps local times (FAT;
// CDFS on NT 3.x and 4.0).
bool stores_local_times(const WCHAR *wide_path);

// Local time with today's bias minus local time with the bias of that date,
// in 100 ns; 0 when they agree or a step fails.
int64_t daylight_correction(const FILETIME &time);

// The seconds since 1970 of 1980-01-01 00:00 local time, computed again when
// the time zone has changed.
int64_t fat_epoch_placeholder();
