// Token privileges that the product turns on for a while: take-ownership
// and restore for changing a file's owner, take-ownership alone for the
// clients of the file-system driver.  Each enabling call leaves the previous
// state in the caller's buffer (a count of 0: nothing changed), which the
// matching restore hands back to the token.
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "frame/trace.h"
#include "identity/current_token.h"
#include "identity/identity.h"
#include "nt.h"

namespace {

constexpr DWORD kSavedSize = NT_SAVED_PRIVILEGES_SIZE;

// The token's take-ownership and restore privileges, as the check found them.
struct ChownState {
    bool checked = false;
    LUID take_ownership{}, restore{};
    bool holds_take_ownership = false, holds_restore = false;
    DWORD take_ownership_attributes = 0, restore_attributes = 0;
};
ChownState chown_state;  // under the library lock; reset by the identity flush

bool same_luid(const LUID &a, const LUID &b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

int holds_both() { return chown_state.holds_take_ownership && chown_state.holds_restore; }

// Hands `saved` back to the current token.
void restore(TOKEN_PRIVILEGES *saved) {
    if (!saved || saved->PrivilegeCount == 0) return;
    HANDLE token = nt_open_current_token(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
    if (!token) return;
    SetLastError(ERROR_SUCCESS);
    if (!AdjustTokenPrivileges(token, FALSE, saved, 0, nullptr, nullptr) || GetLastError() != ERROR_SUCCESS)
        NT_TRACE_FAILURE("AdjustTokenPrivileges", GetLastError());
    CloseHandle(token);
}

// Whether `luid` is enabled in `token`; PrivilegeCheck needs an impersonation
// token, so a primary one is asked through an identification copy.
bool enabled_in(HANDLE token, const LUID &luid) {
    HANDLE copy = nullptr;
    if (!DuplicateTokenEx(token, TOKEN_QUERY, nullptr, SecurityIdentification, TokenImpersonation, &copy)) {
        NT_TRACE_FAILURE("DuplicateTokenEx", GetLastError());
        return false;
    }
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {{luid, 0}}};
    BOOL result = FALSE;
    bool ok = PrivilegeCheck(copy, &set, &result);
    if (!ok) NT_TRACE_FAILURE("PrivilegeCheck", GetLastError());
    CloseHandle(copy);
    return ok && result;
}

}  // namespace

void nt_forget_chown_privileges() {
    NtLibraryLock lock;
    chown_state = ChownState{};
}

extern "C" NT_API int nt_is_chown_privileged(void) {
    NtLibraryLock lock;
    ChownState &s = chown_state;
    if (s.checked) return holds_both();
    s = ChownState{};
    s.checked = true;  // a failed check answers 0 until the flush
    if (!LookupPrivilegeValueA(nullptr, "SeTakeOwnershipPrivilege", &s.take_ownership) ||
        !LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &s.restore)) {
        NT_TRACE_FAILURE("LookupPrivilegeValue", GetLastError());
        return 0;
    }
    HANDLE token = nt_open_current_token(TOKEN_QUERY);
    if (!token) return 0;
    void *information = nullptr;
    DWORD status = nt_read_token_information(token, TokenPrivileges, &information);
    CloseHandle(token);
    if (status != 0) return 0;
    auto *privileges = static_cast<TOKEN_PRIVILEGES *>(information);
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES &p = privileges->Privileges[i];
        if (same_luid(p.Luid, s.take_ownership)) {
            s.holds_take_ownership = true;
            s.take_ownership_attributes = p.Attributes;
        } else if (same_luid(p.Luid, s.restore)) {
            s.holds_restore = true;
            s.restore_attributes = p.Attributes;
        }
    }
    std::free(information);
    return holds_both();
}

extern "C" NT_API int nt_enable_chown_privileges(void *saved_state) {
    auto *saved = static_cast<TOKEN_PRIVILEGES *>(saved_state);
    nt_library_lock();
    if (!saved || !nt_is_chown_privileged()) {
        nt_library_unlock();
        return 0;
    }
    const ChownState &s = chown_state;
    if ((s.take_ownership_attributes & SE_PRIVILEGE_ENABLED) && (s.restore_attributes & SE_PRIVILEGE_ENABLED)) {
        saved->PrivilegeCount = 0;
        nt_library_unlock();
        return 1;
    }
    HANDLE token = nt_open_current_token(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
    if (!token) {
        nt_library_unlock();
        return 0;
    }
    struct {
        DWORD count;
        LUID_AND_ATTRIBUTES entries[2];
    } request{2, {{s.take_ownership, SE_PRIVILEGE_ENABLED}, {s.restore, SE_PRIVILEGE_ENABLED}}};
    nt_library_unlock();
    DWORD length = 0;
    SetLastError(ERROR_SUCCESS);
    BOOL adjusted = AdjustTokenPrivileges(token, FALSE, reinterpret_cast<TOKEN_PRIVILEGES *>(&request), kSavedSize,
                                          saved, &length);
    DWORD error = GetLastError();
    CloseHandle(token);
    if (!adjusted) {
        NT_TRACE_FAILURE("AdjustTokenPrivileges", error);
        return 0;
    }
    if (error == ERROR_SUCCESS) return 1;
    if (error == ERROR_NOT_ALL_ASSIGNED && saved->PrivilegeCount != 0) return 1;
    NT_TRACE_FAILURE("AdjustTokenPrivileges", error);
    return 0;
}

extern "C" NT_API void nt_restore_chown_privileges(void *saved_state) {
    restore(static_cast<TOKEN_PRIVILEGES *>(saved_state));
}

extern "C" NT_API int nt_enable_kelfs_privs(void *saved_state) {
    auto *saved = static_cast<TOKEN_PRIVILEGES *>(saved_state);
    LUID take_ownership{};
    if (!saved || !LookupPrivilegeValueA(nullptr, "SeTakeOwnershipPrivilege", &take_ownership)) return 0;
    HANDLE token = nt_open_current_token(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY | TOKEN_DUPLICATE);
    if (!token) return 0;
    TOKEN_PRIVILEGES request{1, {{take_ownership, SE_PRIVILEGE_ENABLED}}};
    DWORD length = 0;
    SetLastError(ERROR_SUCCESS);
    int result = AdjustTokenPrivileges(token, FALSE, &request, kSavedSize, saved, &length) &&
                 GetLastError() == ERROR_SUCCESS && enabled_in(token, take_ownership);
    CloseHandle(token);
    return result;
}

extern "C" NT_API void nt_disable_kelfs_privs(void *saved_state) { restore(static_cast<TOKEN_PRIVILEGES *>(saved_state)); }
