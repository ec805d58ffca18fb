// _set_error_mode: where the runtime's error messages go.  This runtime has no
// message boxes: its messages always reach standard error, and the mode is
// kept for the program that asks for it.
#include "winbase.h"

namespace {
int error_mode = _OUT_TO_DEFAULT;
}

extern "C" int _set_error_mode(int mode) {
    if (mode == _REPORT_ERRMODE) return __atomic_load_n(&error_mode, __ATOMIC_ACQUIRE);
    if (mode != _OUT_TO_DEFAULT && mode != _OUT_TO_STDERR && mode != _OUT_TO_MSGBOX) return -1;
    return __atomic_exchange_n(&error_mode, mode, __ATOMIC_ACQ_REL);
}
