// OpenProcess: a handle on a running process, carrying the effective uid that
// its token is made from.  Another user's process is closed to anyone but root.
#include <unistd.h>

#include <cstdio>
#include <new>

#include "kernel32/process_object.h"

namespace {

// The effective uid of `pid` from /proc, or false when the process does not exist.
bool effective_uid_of(DWORD pid, uid_t &uid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/status", pid);
    FILE *status = std::fopen(path, "r");
    if (!status) return false;
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status)) {
        unsigned real = 0, effective = 0;
        found = std::sscanf(line, "Uid: %u %u", &real, &effective) == 2;
        if (found) uid = effective;
    }
    std::fclose(status);
    return found;
}

}  // namespace

extern "C" HANDLE OpenProcess(DWORD, BOOL, DWORD process_id) {
    uid_t uid = 0;
    if (process_id == 0 || !effective_uid_of(process_id, uid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (geteuid() != 0 && uid != geteuid()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    try {
        return quarn::win32::make_handle(std::make_shared<quarn::win32::ProcessObject>(process_id, uid));
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}
