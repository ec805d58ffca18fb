// NtQueryInformationProcess, class ProcessBasicInformation: the ids of a
// process and of the process it was started from, read from /proc.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "kernel32/process_object.h"
#include "winternl.h"

namespace {

// The parent's id and the nice value of `pid` from /proc/PID/stat; false
// when the process has gone.
bool read_stat(DWORD pid, ULONG_PTR &parent, LONG &nice) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/stat", pid);
    FILE *stat = std::fopen(path, "re");
    if (!stat) return false;
    char line[1024] = {};
    size_t n = std::fread(line, 1, sizeof line - 1, stat);
    std::fclose(stat);
    line[n] = 0;
    const char *p = std::strrchr(line, ')');  // the command name may hold anything
    unsigned long ppid = 0;
    long priority = 0, niceness = 0;
    // After the name: state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime stime
    // cutime cstime priority nice
    if (!p || std::sscanf(p + 1, " %*c %lu %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %ld %ld", &ppid,
                          &priority, &niceness) != 3)
        return false;
    parent = ppid;
    nice = static_cast<LONG>(niceness);
    return true;
}

}  // namespace

extern "C" NTSTATUS NtQueryInformationProcess(HANDLE process, ULONG information_class, PVOID information,
                                              ULONG length, PULONG returned) {
    DWORD pid;
    if (process == GetCurrentProcess()) {
        pid = GetCurrentProcessId();
    } else {
        auto object = quarn::win32::typed_object<quarn::win32::ProcessObject>(process);
        if (!object) return STATUS_INVALID_HANDLE;
        pid = object->id();
    }
    if (information_class != ProcessBasicInformation) return STATUS_INVALID_INFO_CLASS;
    if (length != sizeof(PROCESS_BASIC_INFORMATION)) return STATUS_INFO_LENGTH_MISMATCH;
    if (!information) return STATUS_ACCESS_VIOLATION;
    PROCESS_BASIC_INFORMATION basic{};
    LONG nice = 0;
    if (!read_stat(pid, basic.InheritedFromUniqueProcessId, nice)) return STATUS_INVALID_CID;
    basic.ExitStatus = STATUS_PENDING;  // still running
    basic.BasePriority = 8 - nice / 5;    // normal priority 8, higher for a lower nice value
    basic.UniqueProcessId = pid;
    std::memcpy(information, &basic, sizeof basic);
    if (returned) *returned = sizeof basic;
    return STATUS_SUCCESS;
}
