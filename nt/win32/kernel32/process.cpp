// Process and thread identity, the program's path and the process's times.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "machine/dos_paths.h"
#include "kernel32/module.h"

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;     // FILETIME counts 100 ns
constexpr uint64_t kEpochDifference = 116444736000000000ull;  // 1601 -> 1970

void store(LPFILETIME out, uint64_t value) {
    if (!out) return;
    out->dwLowDateTime = static_cast<DWORD>(value);
    out->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

uint64_t from_timeval(const timeval &tv) {
    return static_cast<uint64_t>(tv.tv_sec) * kTicksPerSecond + static_cast<uint64_t>(tv.tv_usec) * 10;
}

// The process's start as a FILETIME, from /proc/self/stat and the boot time.
uint64_t process_start_time() {
    FILE *stat = std::fopen("/proc/self/stat", "r");
    if (!stat) return 0;
    char line[1024] = {};
    size_t n = std::fread(line, 1, sizeof line - 1, stat);
    std::fclose(stat);
    line[n] = 0;
    const char *p = std::strrchr(line, ')');  // the command name may hold spaces
    if (!p) return 0;
    unsigned long long start_ticks = 0;
    // Field 22 (starttime) is the 20th after the closing parenthesis.
    for (int field = 0; field < 20 && p; ++field) p = std::strchr(p + 1, ' ');
    if (!p || std::sscanf(p + 1, "%llu", &start_ticks) != 1) return 0;
    timespec now_real{}, now_boot{};
    clock_gettime(CLOCK_REALTIME, &now_real);
    clock_gettime(CLOCK_BOOTTIME, &now_boot);
    long hz = sysconf(_SC_CLK_TCK);
    double boot_epoch = now_real.tv_sec + now_real.tv_nsec / 1e9 - (now_boot.tv_sec + now_boot.tv_nsec / 1e9);
    double start = boot_epoch + static_cast<double>(start_ticks) / static_cast<double>(hz);
    return static_cast<uint64_t>(start * kTicksPerSecond) + kEpochDifference;
}

}  // namespace

extern "C" {

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

DWORD GetModuleFileNameA(HMODULE module, LPSTR filename, DWORD size) {
    std::string path;
    if (module) {
        path = quarn::win32::module_path(module);
        if (path.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
    } else {
        char exe[PATH_MAX + 1];
        ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
        if (n < 0) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        exe[n] = 0;
        const auto *machine = quarn::win32::Machine::current();
        if (!machine) return 0;
        auto dos = quarn::win32::unix_to_dos_path(*machine, exe);
        path = dos ? *dos : exe;
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        // As on Windows Vista and later: cut, terminate, report the full size.
        std::memcpy(filename, path.data(), size - 1);
        filename[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(filename, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

BOOL GetProcessTimes(HANDLE process, LPFILETIME creation, LPFILETIME exit, LPFILETIME kernel, LPFILETIME user) {
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    store(creation, process_start_time());
    store(exit, 0);
    store(kernel, from_timeval(usage.ru_stime));
    store(user, from_timeval(usage.ru_utime));
    return TRUE;
}

}  // extern "C"
