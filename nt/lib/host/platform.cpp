// The platform code: QUARN_FORCE_PLATFORM when it names a platform, else the
// running system's version.  Both answers are computed once per process.
#include <strings.h>

#include "frame/frame.h"
#include "nt.h"

namespace {

struct PlatformName {
    const char *name;
    int code;
};

// Matched in this order, without case.
constexpr PlatformName kPlatformNames[] = {
    {"nt3", NT_OS_NT3},     {"nt4", NT_OS_NT4},     {"nt5", NT_OS_NT5},     {"vista", NT_OS_VISTA},
    {"win7", NT_OS_WIN7},   {"win95", NT_OS_WIN95}, {"win98", NT_OS_WIN98}, {"win32s", NT_OS_WIN32S},
};

int volatile override_done = 0;
int override_code = 0;  // 0: no override
int volatile platform_done = 0;
int platform_code = 0;

int platform_override() {
    if (__atomic_load_n(&override_done, __ATOMIC_ACQUIRE)) return override_code;
    NtLibraryLock lock;
    if (!override_done) {
        char value[16];
        if (nt_getenv_safe("QUARN_FORCE_PLATFORM", value, sizeof value, nullptr)) {
            for (const auto &p : kPlatformNames)
                if (strcasecmp(value, p.name) == 0) {
                    override_code = p.code;
                    break;
                }
        }
        __atomic_store_n(&override_done, 1, __ATOMIC_RELEASE);
    }
    return override_code;
}

int detect_platform() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return NT_OS_WIN32S;
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
        return info.dwMinorVersion < 10 ? NT_OS_WIN95 : NT_OS_WIN98;
    case VER_PLATFORM_WIN32_NT:
        if (info.dwMajorVersion <= 3) return NT_OS_NT3;
        if (info.dwMajorVersion == 4) return NT_OS_NT4;
        if (info.dwMajorVersion == 5) return NT_OS_NT5;
        return info.dwMinorVersion == 0 ? NT_OS_VISTA : NT_OS_WIN7;
    default:
        return NT_OS_WIN32S;
    }
}

}  // namespace

extern "C" NT_API int nt_osinfo(void) {
    if (__atomic_load_n(&platform_done, __ATOMIC_ACQUIRE)) return platform_code;
    NtLibraryLock lock;
    if (!platform_done) {
        int forced = platform_override();
        platform_code = forced ? forced : detect_platform();
        __atomic_store_n(&platform_done, 1, __ATOMIC_RELEASE);
    }
    return platform_code;
}

extern "C" NT_API int nt_win32_platform(void) {
    int code = nt_osinfo();
    if (code & NT_OS_ANY_NT) return VER_PLATFORM_WIN32_NT;
    if (code & NT_OS_WIN9X) return VER_PLATFORM_WIN32_WINDOWS;
    return VER_PLATFORM_WIN32s;
}
