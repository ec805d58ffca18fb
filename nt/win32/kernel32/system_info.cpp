// The version, processor and name of the machine.
#include <unistd.h>

#include <cstring>

#include <algorithm>

#include "machine/machine.h"
#include "winnls.h"

using quarn::win32::Machine;

namespace {

// The computer name in `buffer` (*size characters); too small a buffer
// fails with ERROR_BUFFER_OVERFLOW and the size needed, terminator included.
template <typename Char>
BOOL computer_name(Char *buffer, LPDWORD size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Machine *machine = Machine::current();
    if (!machine) return FALSE;
    auto name = quarn::win32::text_as<Char>(machine->computer_name());
    if (!buffer || *size <= name.size()) {
        *size = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = 0;
    *size = static_cast<DWORD>(name.size());
    return TRUE;
}

}  // namespace

extern "C" {

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const Machine *machine = Machine::current();
    if (!machine) return FALSE;
    const auto &v = machine->version();
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    info->dwPlatformId = v.platform_id;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::strncpy(info->szCSDVersion, v.service_pack.c_str(), sizeof info->szCSDVersion - 1);
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA)) {
        auto *ex = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
        ex->wServicePackMajor = v.service_pack_major;
        ex->wServicePackMinor = v.service_pack_minor;
        ex->wSuiteMask = v.suite_mask;
        ex->wProductType = v.product_type;
        ex->wReserved = 0;
    }
    return TRUE;
}

// Major version in the low byte, minor in the next, the build in the high word
// with the top bit set on the non-NT platforms.
DWORD GetVersion() {
    const Machine *machine = Machine::current();
    if (!machine) return 0;
    const auto &v = machine->version();
    DWORD build = v.platform_id == VER_PLATFORM_WIN32_NT ? (v.build & 0x7FFF) : (0x8000 | (v.build & 0x7FFF));
    return (v.major & 0xFF) | ((v.minor & 0xFF) << 8) | (build << 16);
}

void GetSystemInfo(LPSYSTEM_INFO info) {
    std::memset(info, 0, sizeof *info);
    const Machine *machine = Machine::current();
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    info->dwPageSize = static_cast<DWORD>(sysconf(_SC_PAGESIZE));
    info->dwAllocationGranularity = 65536;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFFFFFEFFFFull);
    info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
    info->dwActiveProcessorMask = info->dwNumberOfProcessors >= 64 ? ~DWORD_PTR{0}
                                                                   : (DWORD_PTR{1} << info->dwNumberOfProcessors) - 1;
    if (machine) {
        info->dwProcessorType = machine->processor_type();
        info->wProcessorArchitecture = machine->processor_architecture();
    }
}

BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) { return computer_name(buffer, size); }
BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) { return computer_name(buffer, size); }

}  // extern "C"
