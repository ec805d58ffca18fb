// Privileges: the names Windows gives them with their well-known LUID values,
// which privileges a token holds, and the logon session it belongs to.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "kernel32/process_object.h"

namespace quarn::win32 {
namespace {

struct Privilege {
    const char *name;
    DWORD value;
};

constexpr Privilege kPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},          {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},           {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},       {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},             {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},          {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},          {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14}, {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},     {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},             {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},               {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},   {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},      {"SeUndockPrivilege", 25},
    {"SeSyncAgentPrivilege", 26},           {"SeEnableDelegationPrivilege", 27},
    {"SeManageVolumePrivilege", 28},        {"SeImpersonatePrivilege", 29},
    {"SeCreateGlobalPrivilege", 30},        {"SeTrustedCredManAccessPrivilege", 31},
    {"SeRelabelPrivilege", 32},             {"SeIncreaseWorkingSetPrivilege", 33},
    {"SeTimeZonePrivilege", 34},            {"SeCreateSymbolicLinkPrivilege", 35},
};

// What Windows gives an ordinary interactive user; only bypass-traverse-checking is enabled.
constexpr DWORD kOrdinaryUser[] = {19, 23, 25, 33, 34};
constexpr DWORD kChangeNotify = 23;

LUID_AND_ATTRIBUTES entry(DWORD value, DWORD attributes) { return {{value, 0}, attributes}; }

}  // namespace

std::vector<LUID_AND_ATTRIBUTES> privileges_for_uid(uid_t uid) {
    std::vector<LUID_AND_ATTRIBUTES> held;
    constexpr DWORD kOn = SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT;
    if (uid == 0) {
        for (const auto &p : kPrivileges) held.push_back(entry(p.value, kOn));
    } else {
        for (DWORD value : kOrdinaryUser) held.push_back(entry(value, value == kChangeNotify ? kOn : 0));
    }
    return held;
}

LUID logon_session_of(pid_t pid, uid_t uid) {
    if (uid == 0) return {SYSTEM_LUID, 0};
    // The audit session groups the processes of one login; without one, the session leader does.
    unsigned long session = 0;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/sessionid", static_cast<int>(pid));
    if (FILE *f = std::fopen(path, "r")) {
        if (std::fscanf(f, "%lu", &session) != 1) session = 0;
        std::fclose(f);
    }
    if (session == 0 || session == 0xFFFFFFFFul) session = static_cast<unsigned long>(getsid(pid));
    return {0x10000u + static_cast<DWORD>(session), 0};
}

}  // namespace quarn::win32

extern "C" BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
    if (system && *system) {
        SetLastError(ERROR_INVALID_COMPUTERNAME);
        return FALSE;
    }
    if (!name || !luid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (const auto &p : quarn::win32::kPrivileges) {
        if (strcasecmp(p.name, name) == 0) {
            *luid = {p.value, 0};
            return TRUE;
        }
    }
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
}

extern "C" BOOL LookupPrivilegeNameA(LPCSTR system, PLUID luid, LPSTR name, LPDWORD length) {
    if (system && *system) {
        SetLastError(ERROR_INVALID_COMPUTERNAME);
        return FALSE;
    }
    if (!luid || !length) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (const auto &p : quarn::win32::kPrivileges) {
        if (luid->HighPart != 0 || luid->LowPart != p.value) continue;
        DWORD chars = static_cast<DWORD>(std::strlen(p.name));
        if (!name || *length <= chars) {
            *length = chars;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(name, p.name, chars + 1);
        *length = chars;
        return TRUE;
    }
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
}
