// The identity name caches that nt_init opens: shared tables that let one
// process's account and SID look-ups serve every other process.  A null
// handle means the cache could not be opened; its users then work uncached.
#pragma once

#include "phash.h"

extern phash_table *nt_global_account_sid_cache;   // "Account name->Sid", global
extern phash_table *nt_sid_uid_cache;              // "Sid->Uid", global
extern phash_table *nt_domain_group_sid_cache;     // "Domain group SID map", private
extern phash_table *nt_private_account_sid_cache;  // "Account name->Sid", private

inline constexpr unsigned int kQualifiedNameSize = 322;
inline constexpr unsigned int kSidSize = 68;

// Opens the four caches, in their fixed order.
void nt_open_identity_caches();
