// The one place where a Linux errno becomes a Win32 error code.
#pragma once

#include "winbase.h"

namespace quarn::win32 {

// The Win32 error for `error` (an errno value); ERROR_GEN_FAILURE when there is no closer one.
DWORD win32_error_from_errno(int error);

// Sets the last error from `error` and returns FALSE, for the common failure path.
BOOL fail_with_errno(int error);
// The same for a call that makes a new entry in a folder (CreateDirectory):
// ENOENT means the folder is missing, ERROR_PATH_NOT_FOUND.
BOOL fail_with_path_errno(int error);

}  // namespace quarn::win32
