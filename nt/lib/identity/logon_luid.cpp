// nt_get_logon_luid: the logon session (the token's AuthenticationId) of a
// process, as one 64-bit number; 0 on any failure.
#include "nt.h"
#include "frame/trace.h"

extern "C" NT_API ULONGLONG nt_get_logon_luid(DWORD process_id) {
    HANDLE process = OpenProcess(READ_CONTROL | PROCESS_QUERY_INFORMATION, FALSE, process_id);
    if (!process) {
        if (GetLastError() != ERROR_ACCESS_DENIED) NT_TRACE_FAILURE("OpenProcess", GetLastError());
        return 0;
    }
    HANDLE token = nullptr;
    BOOL opened = OpenProcessToken(process, READ_CONTROL | TOKEN_QUERY, &token);
    DWORD error = GetLastError();
    CloseHandle(process);
    if (!opened) {
        if (error != ERROR_ACCESS_DENIED) NT_TRACE_FAILURE("OpenProcessToken", error);
        return 0;
    }
    TOKEN_STATISTICS statistics{};
    DWORD needed = 0;
    BOOL read = GetTokenInformation(token, TokenStatistics, &statistics, sizeof statistics, &needed);
    if (!read) NT_TRACE_FAILURE("GetTokenInformation", GetLastError());
    CloseHandle(token);
    if (!read) return 0;
    return (static_cast<ULONGLONG>(static_cast<DWORD>(statistics.AuthenticationId.HighPart)) << 32) |
           statistics.AuthenticationId.LowPart;
}
