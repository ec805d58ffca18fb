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

// The two account-name tables share one UUID, one table in each area.
inline constexpr GUID kAccountNameSidUuid = {0xC7534560, 0x08F7, 0x11D1, {0xBE, 0x5D, 0x00, 0x60, 0x97, 0x30, 0xD4, 0x7D}};
inline constexpr GUID kSidUidUuid = {0xA461E5E0, 0x0D99, 0x11D1, {0xBE, 0x5D, 0x00, 0x60, 0x97, 0x30, 0xD4, 0x7D}};
inline constexpr GUID kDomainGroupSidMapUuid = {0x816DE080, 0xC33E, 0x11D1, {0x97, 0xA0, 0x00, 0x60, 0x08, 0x33, 0x17, 0xB0}};

// Opens the four caches, in their fixed order.
void nt_open_identity_caches();
