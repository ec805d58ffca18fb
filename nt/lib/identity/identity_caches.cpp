// The four identity name caches: their shapes and areas, in their order.
#include "identity/identity_caches.h"

phash_table *nt_global_account_sid_cache = nullptr;
phash_table *nt_sid_uid_cache = nullptr;
phash_table *nt_domain_group_sid_cache = nullptr;
phash_table *nt_private_account_sid_cache = nullptr;

void nt_open_identity_caches() {
    phash_create(&kAccountNameSidUuid, 32, kQualifiedNameSize, kSidSize, phash_str_hash_fn, phash_str_keycmp_fn,
                 "Account name->Sid", PHASH_FLAG_GLOBAL, &nt_global_account_sid_cache);
    // Published whole: nt_sid_to_uid reads it without the library lock.
    phash_table *sid_uid = nullptr;
    phash_create(&kSidUidUuid, 100, kSidSize, 4, phash_sid_hash_fn, phash_sid_keycmp_fn, "Sid->Uid", PHASH_FLAG_GLOBAL,
                 &sid_uid);
    __atomic_store_n(&nt_sid_uid_cache, sid_uid, __ATOMIC_RELEASE);
    phash_create(&kDomainGroupSidMapUuid, 200, kSidSize, kSidSize, phash_sid_hash_fn, phash_sid_keycmp_fn,
                 "Domain group SID map", 0, &nt_domain_group_sid_cache);
    phash_create(&kAccountNameSidUuid, 32, kQualifiedNameSize, kSidSize, phash_str_hash_fn, phash_str_keycmp_fn,
                 "Account name->Sid", 0, &nt_private_account_sid_cache);
}
