// The four identity name caches: their UUIDs, shapes and areas.  The two
// account-name tables share a UUID, one in each area.
#include "identity_caches.h"

phash_table *nt_global_account_sid_cache = nullptr;
phash_table *nt_sid_uid_cache = nullptr;
phash_table *nt_domain_group_sid_cache = nullptr;
phash_table *nt_private_account_sid_cache = nullptr;

namespace {

constexpr GUID kAccountNameSid = {0xC7534560, 0x08F7, 0x11D1, {0xBE, 0x5D, 0x00, 0x60, 0x97, 0x30, 0xD4, 0x7D}};
constexpr GUID kSidUid = {0xA461E5E0, 0x0D99, 0x11D1, {0xBE, 0x5D, 0x00, 0x60, 0x97, 0x30, 0xD4, 0x7D}};
constexpr GUID kDomainGroupSidMap = {0x816DE080, 0xC33E, 0x11D1, {0x97, 0xA0, 0x00, 0x60, 0x08, 0x33, 0x17, 0xB0}};

}  // namespace

void nt_open_identity_caches() {
    phash_create(&kAccountNameSid, 32, kQualifiedNameSize, kSidSize, phash_str_hash_fn, phash_str_keycmp_fn,
                 "Account name->Sid", PHASH_FLAG_GLOBAL, &nt_global_account_sid_cache);
    phash_create(&kSidUid, 100, kSidSize, 4, phash_sid_hash_fn, phash_sid_keycmp_fn, "Sid->Uid", PHASH_FLAG_GLOBAL,
                 &nt_sid_uid_cache);
    phash_create(&kDomainGroupSidMap, 200, kSidSize, kSidSize, phash_sid_hash_fn, phash_sid_keycmp_fn,
                 "Domain group SID map", 0, &nt_domain_group_sid_cache);
    phash_create(&kAccountNameSid, 32, kQualifiedNameSize, kSidSize, phash_str_hash_fn, phash_str_keycmp_fn,
                 "Account name->Sid", 0, &nt_private_account_sid_cache);
}
