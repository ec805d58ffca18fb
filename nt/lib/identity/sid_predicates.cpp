// What a SID is without its domain: the names of the account types, groups
// as this machine's account database types them, integrity labels and
// logon-session SIDs.
#include "nt.h"
#include "identity/sid_shape.h"

namespace {

constexpr const char *kUseNames[] = {"User",    "Group",   "Domain",   "Alias",    "Well known group",
                                     "Deleted account", "Invalid", "Unknown", "Computer", "Integrity level"};
constexpr DWORD kLogonIdsRid = 5;
constexpr BYTE kLogonSidSubAuthorities = 3;
constexpr DWORD kNameSize = 257;

struct LabelSid {
    BYTE revision = SID_REVISION, count = 1;
    BYTE authority[6] = {0, 0, 0, 0, 0, 16};
    DWORD sub_authority = 0;
};

}  // namespace

extern "C" NT_API const char *nt_sid_name_use_to_str(int code) {
    if (code < SidTypeUser || code > SidTypeLabel) return nullptr;
    return kUseNames[code - SidTypeUser];
}

extern "C" NT_API int nt_sid_is_group(PSID sid) {
    WCHAR name[kNameSize], domain[kNameSize];
    DWORD name_size = kNameSize, domain_size = kNameSize;
    SID_NAME_USE use = SidTypeUnknown;
    if (!sid || !LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use)) return 0;
    return use == SidTypeGroup || use == SidTypeAlias || use == SidTypeWellKnownGroup;
}

extern "C" NT_API int nt_sid_is_integrity_level(PSID sid) {
    static LabelSid label;
    return sid && IsValidSid(sid) && EqualPrefixSid(sid, &label) ? 1 : 0;
}

extern "C" NT_API int nt_is_sid_logon_id(PSID sid) {
    return nt_is_nt_authority_sid(sid) && *GetSidSubAuthorityCount(sid) == kLogonSidSubAuthorities &&
                   *GetSidSubAuthority(sid, 0) == kLogonIdsRid
               ? 1
               : 0;
}
