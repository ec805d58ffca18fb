// Multibyte paths to absolute extended-length wide paths and back:
// nt_get_full_wide_path, nt_get_wide_path, nt_strip_prefix_from_wide_path,
// nt_get_thin_path and nt_get_full_path.  Every result is built on the stack
// and copied out only when it fits whole.
#include <cerrno>
#include <climits>
#include <cstring>

#include "nt.h"
#include "ntposix.h"
#include "paths/paths.h"
#include "winnls.h"

namespace {

constexpr WCHAR kExtendedPrefix[] = u"\\\\?\\";
constexpr WCHAR kDevicePrefix[] = u"\\\\.\\";
constexpr WCHAR kUncMarker[] = u"UNC";
constexpr size_t kClassicLimit = MAX_PATH;

size_t wide_length(const WCHAR *text) { return std::char_traits<char16_t>::length(text); }

bool starts_with(const WCHAR *text, const WCHAR *prefix) {
    return std::char_traits<char16_t>::compare(text, prefix, wide_length(prefix)) == 0 &&
           wide_length(text) >= wide_length(prefix);
}

}  // namespace

int path_name_too_long() {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    errno = ENAMETOOLONG;
    return -1;
}

int path_platform_failure() {
    DWORD error = GetLastError();
    _doserrno = error;
    errno = nt_win32error2errno(error);
    return -1;
}

int nt_get_full_wide_path(const char *path, WCHAR *out, size_t size) {
    WCHAR widened[kWidePathChars];
    // Ill-formed multibyte text fails rather than naming some other file.
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, widened, static_cast<int>(kWidePathChars)))
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? path_name_too_long() : path_platform_failure();
    size_t room = size / sizeof(WCHAR);
    DWORD length = GetFullPathNameW(widened, static_cast<DWORD>(room > UINT_MAX ? UINT_MAX : room), out, nullptr);
    if (length >= room) return path_name_too_long();
    if (!nt_long_paths_enabled() && (length >= kClassicLimit || std::strlen(path) >= kClassicLimit))
        return path_name_too_long();
    if (length == 0) return path_platform_failure();
    return 0;
}

extern "C" NT_API int nt_get_wide_path(const char *path, WCHAR *out, size_t size) {
    WCHAR full[kWidePathChars];
    if (nt_get_full_wide_path(path, full, sizeof full) != 0) return -1;
    size_t room = size / sizeof(WCHAR);
    WCHAR built[kWidePathChars + 8];
    size_t used = 0;
    const WCHAR *rest = full;
    // Device and extended-length paths keep their form.
    if (!starts_with(full, kDevicePrefix) && !starts_with(full, kExtendedPrefix)) {
        if (room < 4) return path_name_too_long();
        std::memcpy(built, kExtendedPrefix, 4 * sizeof(WCHAR));
        used = 4;
        room -= 4;
        if (full[0] == u'\\' && full[1] == u'\\') {
            if (room < 3) return path_name_too_long();
            std::memcpy(built + used, kUncMarker, 3 * sizeof(WCHAR));
            used += 3;
            room -= 3;
            rest = full + 1;
        }
    }
    size_t length = wide_length(rest);
    if (length >= room) return path_name_too_long();
    std::memcpy(built + used, rest, (length + 1) * sizeof(WCHAR));
    std::memcpy(out, built, (used + length + 1) * sizeof(WCHAR));
    return 0;
}

extern "C" NT_API int nt_strip_prefix_from_wide_path(const WCHAR *path, WCHAR *out, size_t size) {
    size_t room = size / sizeof(WCHAR);
    const WCHAR *rest = path;
    bool network = false;
    if (starts_with(path, kExtendedPrefix)) {
        rest = path + 4;
        if (starts_with(rest, u"UNC\\")) {
            network = true;
            rest += 3;
        }
    }
    if (network) {
        if (room < 1) return path_name_too_long();
        --room;
    }
    size_t length = wide_length(rest);
    if (length >= room) return path_name_too_long();
    if (network) *out++ = u'\\';
    std::memmove(out, rest, (length + 1) * sizeof(WCHAR));
    return 0;
}

extern "C" NT_API int nt_get_thin_path(const WCHAR *path, char *out, size_t size) {
    WCHAR stripped[kWidePathChars];
    if (nt_strip_prefix_from_wide_path(path, stripped, sizeof stripped) != 0) return -1;
    int room = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    if (room == 0) {
        // A size of 0 would ask for the length instead of converting.
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return path_platform_failure();
    }
    if (!WideCharToMultiByte(CP_ACP, 0, stripped, -1, out, room, nullptr, nullptr)) return path_platform_failure();
    return 0;
}

extern "C" NT_API int nt_get_full_path(const char *path, char *out, size_t size) {
    WCHAR full[kWidePathChars];
    if (nt_get_full_wide_path(path, full, sizeof full) != 0) return -1;
    return nt_get_thin_path(full, out, size);
}
