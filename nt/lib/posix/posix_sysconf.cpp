// The few configuration queries programs make, with this platform's answers.
#include "ntposix.h"

extern "C" NT_API long nt_sysconf(int name) noexcept {
    switch (name) {
    case NT_SC_CLK_TCK: return 1000;
    case NT_SC_OPEN_MAX: return 2147483647;
    default: return 0;
    }
}

extern "C" NT_API long nt_fpathconf(int, int name) noexcept { return name == NT_PC_NAME_MAX ? 255 : 0; }

extern "C" NT_API void *nt_sbrk(intptr_t) noexcept { return nullptr; }
