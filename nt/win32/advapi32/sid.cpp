// Security identifiers in their binary form: building, checking, comparing,
// copying and writing them as text ("S-1-5-21-...").
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "advapi.h"

namespace {

constexpr DWORD kSidHeader = 8;  // revision, count, six authority bytes

SID *as_sid(PSID sid) { return static_cast<SID *>(sid); }

bool valid(PSID sid) {
    return sid && as_sid(sid)->Revision == SID_REVISION && as_sid(sid)->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES;
}

DWORD length_of(PSID sid) { return kSidHeader + 4u * as_sid(sid)->SubAuthorityCount; }

}  // namespace

extern "C" {

DWORD GetSidLengthRequired(UCHAR count) { return kSidHeader + 4u * count; }

BOOL InitializeSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE count) {
    if (count > SID_MAX_SUB_AUTHORITIES) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SID *s = as_sid(sid);
    s->Revision = SID_REVISION;
    s->SubAuthorityCount = count;
    s->IdentifierAuthority = *authority;
    std::memset(s->SubAuthority, 0, 4u * count);
    return TRUE;
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1, DWORD s2,
                              DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID *sid) {
    if (!sid || !authority || count > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto *s = static_cast<SID *>(std::malloc(GetSidLengthRequired(count)));
    if (!s) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    InitializeSid(s, authority, count);
    const DWORD values[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
    std::memcpy(s->SubAuthority, values, 4u * count);
    *sid = s;
    return TRUE;
}

PVOID FreeSid(PSID sid) {
    std::free(sid);
    return nullptr;
}

BOOL IsValidSid(PSID sid) { return valid(sid); }

DWORD GetLengthSid(PSID sid) {
    SetLastError(ERROR_SUCCESS);
    return valid(sid) ? length_of(sid) : 0;
}

BOOL CopySid(DWORD length, PSID destination, PSID source) {
    if (!valid(source)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    if (length < length_of(source)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memmove(destination, source, length_of(source));
    return TRUE;
}

BOOL EqualSid(PSID a, PSID b) {
    SetLastError(ERROR_SUCCESS);
    if (!valid(a) || !valid(b)) return FALSE;
    return length_of(a) == length_of(b) && std::memcmp(a, b, length_of(a)) == 0;
}

BOOL EqualPrefixSid(PSID a, PSID b) {
    SetLastError(ERROR_SUCCESS);
    if (!valid(a) || !valid(b)) return FALSE;
    SID *x = as_sid(a), *y = as_sid(b);
    if (x->SubAuthorityCount != y->SubAuthorityCount) return FALSE;
    if (std::memcmp(&x->IdentifierAuthority, &y->IdentifierAuthority, 6) != 0) return FALSE;
    if (x->SubAuthorityCount == 0) return TRUE;
    return std::memcmp(x->SubAuthority, y->SubAuthority, 4u * (x->SubAuthorityCount - 1u)) == 0;
}

PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID sid) {
    SetLastError(ERROR_SUCCESS);
    return &as_sid(sid)->IdentifierAuthority;
}

DWORD *GetSidSubAuthority(PSID sid, DWORD index) {
    SetLastError(index < as_sid(sid)->SubAuthorityCount ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
    return &as_sid(sid)->SubAuthority[index];
}

UCHAR *GetSidSubAuthorityCount(PSID sid) {
    SetLastError(ERROR_SUCCESS);
    return &as_sid(sid)->SubAuthorityCount;
}

BOOL ConvertSidToStringSidA(PSID sid, LPSTR *text) {
    if (!text) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!valid(sid)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    const SID *s = as_sid(sid);
    const BYTE *a = s->IdentifierAuthority.Value;
    char part[32];
    std::string out = "S-" + std::to_string(s->Revision) + "-";
    if (a[0] == 0 && a[1] == 0) {
        // Authorities below 2^32 are written in decimal, larger ones in hexadecimal.
        unsigned long v = (static_cast<unsigned long>(a[2]) << 24) | (a[3] << 16) | (a[4] << 8) | a[5];
        std::snprintf(part, sizeof part, "%lu", v);
    } else {
        std::snprintf(part, sizeof part, "0x%02X%02X%02X%02X%02X%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    }
    out += part;
    for (BYTE i = 0; i < s->SubAuthorityCount; ++i) out += "-" + std::to_string(s->SubAuthority[i]);
    auto *copy = static_cast<char *>(std::malloc(out.size() + 1));  // freed with LocalFree
    if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    std::memcpy(copy, out.c_str(), out.size() + 1);
    *text = copy;
    return TRUE;
}

}  // extern "C"
