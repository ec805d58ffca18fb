// Uids of SIDs and back: a uid is the uid base of the account's domain OR the
// account's RID, so the same SID has the same uid on every machine that sees
// the same domains.  Computed uids are kept in the machine-wide "Sid->Uid"
// table, so other processes find them without classifying the domain again.
#include <cstdlib>
#include <cstring>

#include "identity/domains.h"
#include "frame/frame.h"
#include "identity/identity_caches.h"
#include "nt.h"
#include "identity/sid_shape.h"

namespace {

constexpr DWORD kTrustedFloor = 0x200000;  // the lowest trusted-domain offset, before the shift
constexpr DWORD kLocalDomainMask = 0xFFFF0000;
constexpr DWORD kLocalRidMask = 0xFFFF;

// The domain part of a uid (its domain SID's class) for the RID shift.
DWORD domain_mask(int shift) { return shift ? 0xFF000000u : 0xFFF00000u; }

DWORD rid_mask(int type, int shift) {
    if (type == NTX_DOMAIN_BUILTIN || type == NTX_DOMAIN_ACCOUNT) return kLocalRidMask;
    return ~domain_mask(shift);
}

DWORD compute_uid(PSID sid) {
    if (!nt_is_domain_shaped_sid(sid, 2)) return NT_NO_UID;
    BYTE count = *GetSidSubAuthorityCount(sid);
    DWORD rid = *GetSidSubAuthority(sid, count - 1);
    PSID domain = nullptr;
    if (ntx_get_sid_domain(sid, &domain) != 0) return NT_NO_UID;
    DWORD base = 0;
    int type = ntx_get_domain_sid_type(domain, &base);
    std::free(domain);
    if (type < NTX_DOMAIN_BUILTIN || type > NTX_DOMAIN_TRUSTED) return NT_NO_UID;
    if (rid > rid_mask(type, ntx_large_rid_shift())) return NT_NO_UID;
    return base | rid;
}

// The domain SID that a uid names and the uid's RID; null for no domain.
PSID domain_of_uid(DWORD uid, DWORD *rid) {
    if (uid == NT_NO_UID) return nullptr;
    const int shift = ntx_large_rid_shift();
    const DWORD mask = domain_mask(shift);
    *rid = uid & ~mask;
    if (uid >= kTrustedFloor << shift) return ntx_tpo_to_sid(uid & mask, nullptr);
    if ((uid & mask) == NTX_PRIMARY_OFFSET << shift) return ntx_primary_domain_sid();
    *rid = uid & ~kLocalDomainMask;
    if ((uid & kLocalDomainMask) == NTX_ACCOUNT_OFFSET) return ntx_account_domain_sid();
    if ((uid & kLocalDomainMask) == NTX_BUILTIN_OFFSET) return ntx_builtin_domain_sid();
    return nullptr;
}

}  // namespace

extern "C" NT_API DWORD nt_sid_to_uid(PSID sid) {
    if (!sid || !IsValidSid(sid)) return NT_NO_UID;
    DWORD length = GetLengthSid(sid);
    if (length > kSidSize) return compute_uid(sid);
    // A hit needs neither the library lock nor a key copy: the table is
    // opened once and stays, and its hash and compare read the SID alone.
    phash_table *cache = __atomic_load_n(&nt_sid_uid_cache, __ATOMIC_ACQUIRE);
    DWORD uid = NT_NO_UID;
    unsigned int size = sizeof uid;
    if (cache && phash_lookup(cache, sid, &uid, &size)) return uid;
    NtLibraryLock lock;
    uid = compute_uid(sid);
    if (uid != NT_NO_UID && cache) {
        BYTE key[kSidSize] = {};
        std::memcpy(key, sid, length);
        phash_enter(cache, key, &uid, sizeof uid);
    }
    return uid;
}

extern "C" NT_API int ntx_uid_to_sid(DWORD uid, PSID *sid_out) {
    if (!sid_out) return -1;
    DWORD rid = 0;
    PSID domain = domain_of_uid(uid, &rid);
    if (!domain) return -1;
    PSID sid = nt_sid_append_rid(domain, rid);
    if (!sid) return -1;
    *sid_out = sid;
    return 0;
}
