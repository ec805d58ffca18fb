// _doserrno: the Win32 error of the calling thread's last failed POSIX call.
#include "ntposix.h"

namespace {
thread_local unsigned long doserrno = 0;
}

extern "C" NT_API unsigned long *nt___doserrno(void) { return &doserrno; }
