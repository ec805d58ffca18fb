// ConvertStringSidToSidA: "S-1-<authority>-<sub>..." with a decimal authority
// below 2^32 or a "0x" hexadecimal one of up to 48 bits, and at most 15
// decimal sub-authorities of 32 bits.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "advapi.h"

namespace {

// Reads an unsigned number of at most `max` from `p`; advances `p`.
bool read_number(const char *&p, uint64_t max, bool allow_hex, uint64_t &out) {
    int base = 10;
    if (allow_hex && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (!std::isxdigit(static_cast<unsigned char>(*p)) || (base == 10 && !std::isdigit(static_cast<unsigned char>(*p))))
        return false;
    uint64_t v = 0;
    for (; *p; ++p) {
        int c = static_cast<unsigned char>(*p);
        int digit = std::isdigit(c) ? c - '0' : (base == 16 && std::isxdigit(c)) ? (std::tolower(c) - 'a' + 10) : -1;
        if (digit < 0) break;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (v > max) return false;
    }
    out = v;
    return true;
}

}  // namespace

extern "C" BOOL ConvertStringSidToSidA(LPCSTR text, PSID *sid) {
    if (!text || !sid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const char *p = text;
    uint64_t revision = 0, authority = 0;
    if ((p[0] != 'S' && p[0] != 's') || p[1] != '-') goto bad;
    p += 2;
    if (!read_number(p, 255, false, revision) || revision != SID_REVISION || *p != '-') goto bad;
    ++p;
    if (!read_number(p, 0xFFFFFFFFFFFFull, true, authority)) goto bad;
    {
        DWORD subs[SID_MAX_SUB_AUTHORITIES];
        BYTE count = 0;
        while (*p == '-') {
            ++p;
            uint64_t v = 0;
            if (count == SID_MAX_SUB_AUTHORITIES || !read_number(p, 0xFFFFFFFFu, false, v)) goto bad;
            subs[count++] = static_cast<DWORD>(v);
        }
        if (*p) goto bad;
        auto *s = static_cast<SID *>(std::malloc(GetSidLengthRequired(count)));
        if (!s) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        SID_IDENTIFIER_AUTHORITY a;
        for (int i = 0; i < 6; ++i) a.Value[i] = static_cast<BYTE>(authority >> (8 * (5 - i)));
        InitializeSid(s, &a, count);
        std::memcpy(s->SubAuthority, subs, 4u * count);
        *sid = s;
        return TRUE;
    }
bad:
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
}
