// Changing a token: AdjustTokenPrivileges (enabling, disabling or removing
// privileges the token holds, with the previous state for undoing it),
// SetTokenInformation for the primary group, and PrivilegeCheck.  A token
// never gains a privilege it does not hold.
#include <algorithm>
#include <cstring>

#include "advapi32/token_object.h"

namespace quarn::win32 {
namespace {

constexpr DWORD kStateBits = SE_PRIVILEGE_ENABLED;

bool same_luid(const LUID &a, const LUID &b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

LUID_AND_ATTRIBUTES *held(TokenContents &t, const LUID &luid) {
    auto it = std::find_if(t.privileges.begin(), t.privileges.end(),
                           [&](const LUID_AND_ATTRIBUTES &p) { return same_luid(p.Luid, luid); });
    return it == t.privileges.end() ? nullptr : &*it;
}

// The changes a request makes to `t`: the entries whose state differs before
// and after, with their state before; `missing` when it names a privilege
// the token does not hold.
struct Outcome {
    std::vector<LUID_AND_ATTRIBUTES> previous;
    bool missing = false;
};

Outcome apply(TokenContents &t, BOOL disable_all, const TOKEN_PRIVILEGES *request) {
    Outcome out;
    if (disable_all) {
        for (auto &p : t.privileges)
            if (p.Attributes & SE_PRIVILEGE_ENABLED) {
                out.previous.push_back(p);
                p.Attributes &= ~SE_PRIVILEGE_ENABLED;
            }
        return out;
    }
    for (DWORD i = 0; i < request->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES &wanted = request->Privileges[i];
        LUID_AND_ATTRIBUTES *p = held(t, wanted.Luid);
        if (!p) {
            out.missing = true;
            continue;
        }
        if (wanted.Attributes & SE_PRIVILEGE_REMOVED) {
            out.previous.push_back(*p);
            t.privileges.erase(t.privileges.begin() + (p - t.privileges.data()));
            continue;
        }
        DWORD state = (p->Attributes & ~kStateBits) | (wanted.Attributes & kStateBits);
        if (state == p->Attributes) continue;
        out.previous.push_back(*p);
        p->Attributes = state;
    }
    return out;
}

DWORD privileges_size(size_t count) {
    return static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) + count * sizeof(LUID_AND_ATTRIBUTES));
}

bool is_group_of(const TokenContents &t, const SidValue &sid) {
    return sid == t.user || std::any_of(t.groups.begin(), t.groups.end(), [&](const TokenGroup &g) {
               return g.sid == sid && !(g.attributes & SE_GROUP_USE_FOR_DENY_ONLY);
           });
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state, DWORD buffer_length,
                           PTOKEN_PRIVILEGES previous_state, LPDWORD return_length) {
    auto handle = typed_object<TokenHandle>(token);
    if (!handle) return FALSE;
    if (!disable_all && !new_state) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (previous_state && !return_length) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (!handle->grants(TOKEN_ADJUST_PRIVILEGES | (previous_state ? TOKEN_QUERY : 0))) return FALSE;
    Outcome outcome;
    DWORD status = ERROR_SUCCESS;
    handle->token()->change([&](TokenContents &t) {
        outcome = apply(t, disable_all, new_state);
        if (previous_state) {
            DWORD needed = privileges_size(outcome.previous.size());
            *return_length = needed;
            if (buffer_length < needed) {  // nothing changes when the old state has no room
                status = ERROR_INSUFFICIENT_BUFFER;
                return false;
            }
            previous_state->PrivilegeCount = static_cast<DWORD>(outcome.previous.size());
            std::copy(outcome.previous.begin(), outcome.previous.end(), previous_state->Privileges);
        }
        return true;
    });
    if (status != ERROR_SUCCESS) {
        SetLastError(status);
        return FALSE;
    }
    SetLastError(outcome.missing ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
    return TRUE;
}

BOOL PrivilegeCheck(HANDLE token, PPRIVILEGE_SET required, LPBOOL result) {
    auto handle = typed_object<TokenHandle>(token);
    if (!handle) return FALSE;
    if (!required || !result) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!handle->grants(TOKEN_QUERY)) return FALSE;
    if (handle->token()->type != TokenImpersonation) {
        SetLastError(ERROR_NO_IMPERSONATION_TOKEN);
        return FALSE;
    }
    TokenContents t = *handle->token()->contents();
    DWORD enabled = 0;
    for (DWORD i = 0; i < required->PrivilegeCount; ++i) {
        LUID_AND_ATTRIBUTES &wanted = required->Privilege[i];
        const LUID_AND_ATTRIBUTES *p = held(t, wanted.Luid);
        bool on = p && (p->Attributes & SE_PRIVILEGE_ENABLED);
        wanted.Attributes = on ? (wanted.Attributes | SE_PRIVILEGE_USED_FOR_ACCESS)
                               : (wanted.Attributes & ~SE_PRIVILEGE_USED_FOR_ACCESS);
        enabled += on;
    }
    *result = required->Control & PRIVILEGE_SET_ALL_NECESSARY ? enabled == required->PrivilegeCount : enabled > 0;
    return TRUE;
}

BOOL SetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, LPVOID information, DWORD length) {
    auto handle = typed_object<TokenHandle>(token);
    if (!handle) return FALSE;
    if (information_class != TokenPrimaryGroup) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!information || length < sizeof(TOKEN_PRIMARY_GROUP)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (!handle->grants(TOKEN_ADJUST_DEFAULT)) return FALSE;
    PSID group = static_cast<TOKEN_PRIMARY_GROUP *>(information)->PrimaryGroup;
    if (!group || !IsValidSid(group)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    SidValue wanted = SidValue::copy_of(group);
    bool changed = handle->token()->change([&](TokenContents &t) {
        if (!is_group_of(t, wanted)) return false;
        t.primary_group = wanted;
        return true;
    });
    if (!changed) {
        SetLastError(ERROR_INVALID_PRIMARY_GROUP);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
