// The per-thread Win32 last error.
#include "winbase.h"

namespace {
thread_local DWORD last_error = 0;
}

extern "C" DWORD GetLastError() { return last_error; }
extern "C" void SetLastError(DWORD code) { last_error = code; }
