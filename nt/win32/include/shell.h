// The shell's folder look-up: the profile folder of a token's user as a drive
// path.  Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include "winbase.h"

extern "C" {

typedef struct quarn_hwnd *HWND;

constexpr int CSIDL_PROFILE = 0x0028;
constexpr int CSIDL_FLAG_CREATE = 0x8000;
constexpr int CSIDL_FLAG_MASK = 0xFF00;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;
constexpr DWORD SHGFP_TYPE_DEFAULT = 1;

// CSIDL_PROFILE only (E_INVALIDARG for other folders): the profile folder of
// the user of `token` (null: the process token) into `path` (MAX_PATH
// characters).  An account of this machine has its Linux home directory,
// LocalSystem root's; any other account C:\users\NAME.  A folder that does
// not exist gives HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) unless
// CSIDL_FLAG_CREATE asks for it to be made.
HRESULT SHGetFolderPathA(HWND window, int folder, HANDLE token, DWORD flags, LPSTR path);

}  // extern "C"
