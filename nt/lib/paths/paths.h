// What the path conversions share inside the library: the working sizes,
// the long-path switch, the absolute wide path and the link expansion of
// object-manager names.
#pragma once

#include <cstddef>

#include "win32.h"
#include "winternl.h"

// Every conversion works in 1024 wide characters (2048 bytes).
inline constexpr size_t kWidePathChars = 1024;
inline constexpr size_t kWidePathBytes = kWidePathChars * sizeof(WCHAR);

// 1 when paths of the classic limit (260) and longer are allowed.
int nt_long_paths_enabled();

// The absolute wide path of a multibyte path; 0, or -1 with errno and the last error set.
int nt_get_full_wide_path(const char *path, WCHAR *out, size_t size);

// Follows the symbolic links of an object-manager name in place; 0, or -1
// with the Win32 last error set.
int ntx_expand_symlinks_in_ob_pname(UNICODE_STRING *name);

// Name too long: last error ERROR_BUFFER_OVERFLOW, errno ENAMETOOLONG; -1.
int path_name_too_long();
// A failed platform call: _doserrno and errno from the last error; -1.
int path_platform_failure();
