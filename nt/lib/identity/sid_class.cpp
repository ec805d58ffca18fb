// Domain classes of SIDs: builtin, primary, account and trusted domains with
// the uid base of each, and the predicates built on them.
#include <cstdlib>

#include "identity/domains.h"
#include "nt.h"
#include "identity/sid_shape.h"

namespace {

bool same_sid(PSID a, PSID b) { return b && EqualSid(a, b); }

}  // namespace

bool nt_is_nt_authority_sid(PSID sid) {
    if (!sid || !IsValidSid(sid)) return false;
    const BYTE *a = GetSidIdentifierAuthority(sid)->Value;
    return a[0] == 0 && a[1] == 0 && a[2] == 0 && a[3] == 0 && a[4] == 0 && a[5] == 5;
}

bool nt_is_domain_shaped_sid(PSID sid, BYTE minimum) {
    if (!nt_is_nt_authority_sid(sid) || *GetSidSubAuthorityCount(sid) < minimum || minimum == 0) return false;
    DWORD first = *GetSidSubAuthority(sid, 0);
    return first == kFirstSubAuthorityDomain || first == kFirstSubAuthorityBuiltin;
}

extern "C" NT_API int ntx_get_domain_sid_type(PSID domain_sid, DWORD *base_out) {
    if (!nt_is_domain_shaped_sid(domain_sid, 1)) return NTX_DOMAIN_NONE;
    int shift = ntx_large_rid_shift();
    int type = NTX_DOMAIN_NONE;
    DWORD base = 0;
    ntx_sid_tpo_value *value = nullptr;
    if (same_sid(domain_sid, ntx_builtin_domain_sid())) {
        type = NTX_DOMAIN_BUILTIN, base = NTX_BUILTIN_OFFSET;
    } else if (same_sid(domain_sid, ntx_primary_domain_sid())) {
        type = NTX_DOMAIN_PRIMARY, base = NTX_PRIMARY_OFFSET << shift;
    } else if (same_sid(domain_sid, ntx_account_domain_sid())) {
        type = NTX_DOMAIN_ACCOUNT, base = NTX_ACCOUNT_OFFSET;
    } else if (DWORD offset = ntx_sid_to_tpo(domain_sid, &value)) {
        // The marker of a trust without an offset is told apart before any shift.
        type = value->offset == NTX_NO_POSIX_OFFSET ? NTX_DOMAIN_TRUSTED_NO_OFFSET : NTX_DOMAIN_TRUSTED;
        base = offset;
    }
    if (base_out && type != NTX_DOMAIN_NONE && type != NTX_DOMAIN_TRUSTED_NO_OFFSET) *base_out = base;
    return type;
}

extern "C" NT_API int nt_is_domain_sid(PSID sid) {
    if (!nt_is_domain_shaped_sid(sid, 2) || *GetSidSubAuthority(sid, 0) != kFirstSubAuthorityDomain) return 0;
    PSID domain = nullptr;
    if (ntx_get_sid_domain(sid, &domain) != 0) return 0;
    int type = ntx_get_domain_sid_type(domain, nullptr);
    std::free(domain);
    return type == NTX_DOMAIN_PRIMARY || type == NTX_DOMAIN_TRUSTED || type == NTX_DOMAIN_TRUSTED_NO_OFFSET;
}

extern "C" NT_API int nt_is_local_sid(PSID sid) {
    if (!sid || !IsValidSid(sid)) return 0;
    if (!nt_is_domain_shaped_sid(sid, 2) || *GetSidSubAuthority(sid, 0) != kFirstSubAuthorityDomain) return 1;
    PSID domain = nullptr;
    if (ntx_get_sid_domain(sid, &domain) != 0) return 1;
    int local = !same_sid(domain, ntx_primary_domain_sid()) && same_sid(domain, ntx_account_domain_sid());
    std::free(domain);
    return local;
}
