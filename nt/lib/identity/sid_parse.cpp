// nt_str_to_sid: the text "S-1-<authority>-<sub>..." to a SID that the
// caller releases with nt_free_sid (FreeSid, which programs cannot reach).  Every number takes its base from its form
// (0x hexadecimal, a leading 0 octal, else decimal); the authority is at most
// 255 and there are at most 8 sub-authorities, as AllocateAndInitializeSid
// takes them.  Only the first 99 characters are read.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "nt.h"
#include "win32.h"

namespace {

constexpr size_t kTextLimit = 99;
constexpr int kMostSubAuthorities = 8;
constexpr unsigned long kLargestAuthority = 255;

// A field that is one number, of at most `largest`, in the automatic base.
bool number(const char *field, unsigned long long largest, unsigned long long &out) {
    if (*field == '+' || *field == ' ') return false;  // strtoull would take a sign or blanks
    errno = 0;
    char *end = nullptr;
    unsigned long long v = std::strtoull(field, &end, 0);
    if (end == field || *end || errno == ERANGE || v > largest) return false;
    out = v;
    return true;
}

}  // namespace

extern "C" NT_API int nt_str_to_sid(const char *text, PSID *sid_out) {
    if (!text || !sid_out) return -1;
    char buffer[kTextLimit + 1] = {};
    std::strncpy(buffer, text, kTextLimit);
    char *state = nullptr;
    const char *field = strtok_r(buffer, "-", &state);  // the leading letter, not examined
    if (!field) return -1;
    unsigned long long revision = 0, authority = 0;
    field = strtok_r(nullptr, "-", &state);
    if (!field || !number(field, ~0ull, revision) || revision != SID_REVISION) return -1;
    field = strtok_r(nullptr, "-", &state);
    if (!field || !number(field, kLargestAuthority, authority)) return -1;
    DWORD subs[kMostSubAuthorities] = {};
    int count = 0;
    while ((field = strtok_r(nullptr, "-", &state))) {
        unsigned long long v = 0;
        if (count == kMostSubAuthorities || !number(field, 0xFFFFFFFFull, v)) return -1;
        subs[count++] = static_cast<DWORD>(v);
    }
    SID_IDENTIFIER_AUTHORITY id = {{0, 0, 0, 0, 0, static_cast<BYTE>(authority)}};
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&id, static_cast<BYTE>(count), subs[0], subs[1], subs[2], subs[3], subs[4], subs[5],
                                  subs[6], subs[7], &sid))
        return -1;
    *sid_out = sid;
    return 0;
}

extern "C" NT_API void nt_free_sid(PSID sid) { FreeSid(sid); }
