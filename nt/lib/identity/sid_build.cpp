// Building SIDs from SIDs: one more sub-authority, or the domain part of an
// account SID; both new SIDs from malloc, released by the caller with free.
#include <cstdlib>
#include <cstring>

#include "ntx.h"
#include "nt.h"
#include "identity/sid_shape.h"

extern "C" NT_API PSID nt_sid_append_rid(PSID sid, DWORD rid) {
    if (!sid || !IsValidSid(sid)) return nullptr;
    BYTE count = *GetSidSubAuthorityCount(sid);
    if (count >= SID_MAX_SUB_AUTHORITIES) return nullptr;  // one more would make no SID
    DWORD length = GetLengthSid(sid);
    PSID longer = std::malloc(length + sizeof(DWORD));
    if (!longer) return nullptr;
    std::memcpy(longer, sid, length);
    *GetSidSubAuthorityCount(longer) = static_cast<UCHAR>(count + 1);
    *GetSidSubAuthority(longer, count) = rid;
    return longer;
}

extern "C" NT_API int ntx_get_sid_domain(PSID sid, PSID *domain_out) {
    if (!domain_out || !nt_is_domain_shaped_sid(sid, 2)) return -1;
    DWORD length = GetLengthSid(sid);
    PSID domain = std::malloc(length + sizeof(DWORD));
    if (!domain) return -1;
    std::memcpy(domain, sid, length);
    --*GetSidSubAuthorityCount(domain);
    *domain_out = domain;
    return 0;
}
