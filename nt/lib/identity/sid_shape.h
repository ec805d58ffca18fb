// The shapes of SIDs that need no look-up: NT authority, account SIDs (of a
// machine or domain, S-1-5-21-..., or of the builtin domain, S-1-5-32-...).
#pragma once

#include "win32.h"

inline constexpr DWORD kFirstSubAuthorityDomain = SECURITY_NT_NON_UNIQUE;      // 21
inline constexpr DWORD kFirstSubAuthorityBuiltin = SECURITY_BUILTIN_DOMAIN_RID;  // 32

// A valid SID of the NT authority (0,0,0,0,0,5).
bool nt_is_nt_authority_sid(PSID sid);
// An NT-authority SID with at least `minimum` sub-authorities whose first is 21 or 32.
bool nt_is_domain_shaped_sid(PSID sid, BYTE minimum);
