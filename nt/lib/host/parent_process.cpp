// ntx_get_ppid: the id of the process that `pid` was started from.
#include "frame/trace.h"
#include "ntx.h"
#include "win32.h"
#include "winternl.h"

extern "C" NT_API DWORD ntx_get_ppid(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | READ_CONTROL, FALSE, pid);
    if (!process) {
        NTX_TRACE_FAILURE("OpenProcess", kSourceNtunpub, GetLastError());
        return 0;
    }
    PROCESS_BASIC_INFORMATION basic{};
    ULONG length = 0;
    NTSTATUS status = NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &length);
    CloseHandle(process);
    if (status != STATUS_SUCCESS) {
        NTX_TRACE_FAILURE("NtQueryInformationProcess", kSourceNtunpub, status);
        return 0;
    }
    return static_cast<DWORD>(basic.InheritedFromUniqueProcessId);
}
