// Account names, internal side: the buffer sizes of the identity functions,
// the two qualification rules, the account look-ups that return a name and
// its domain, and the pieces of the identity flush that each source owns.
#pragma once

#include <cstddef>

#include "identity/identity_caches.h"
#include "win32.h"

inline constexpr DWORD kAccountNameSize = 257;  // the platform's account-name length and its terminator
inline constexpr DWORD kDomainNameSize = 65;
inline constexpr size_t kDomainPrefixChars = 64;
inline constexpr size_t kBareNameChars = 256;

// Record qualification: DOMAIN\name when name has no backslash, domain is not
// empty and the whole fits `size` bytes; else name alone, cut to fit.
void nt_qualify_account_name(const char *name, const char *domain, char *out, size_t size);

// Copies `sid` into a record's 68-byte buffer; false (after a trace line) when it does not fit.
bool nt_copy_record_sid(PSID record_sid, PSID sid);
// Name and domain of `sid` on this machine (kAccountNameSize and
// kDomainNameSize bytes); false when the account database does not know it.
bool nt_lookup_sid_name(PSID sid, char *name, char *domain, SID_NAME_USE *use);

// The user-domain prefix (at most 64 characters) in out (kDomainNameSize
// bytes): computed once from the current token, "UNKNOWN" when it cannot be.
// The caller holds the library lock.
void nt_user_domain_prefix(char *out);

// The identity flush's parts: each forgets what its own source keeps.
void nt_forget_user_domain_prefix();
void nt_forget_login_name();
void nt_forget_privilege_answers();
void nt_forget_chown_privileges();

// True for a group type: group, alias or well-known group.
inline bool nt_is_group_use(int use) { return use == SidTypeGroup || use == SidTypeAlias || use == SidTypeWellKnownGroup; }

// The gecos of a full name: cut at its first of ",;:([<{", without leading
// and trailing spaces, at most 256 characters, in out (size bytes); empty
// when the text cannot be converted or does not fit.
void nt_gecos_of_full_name(const WCHAR *full_name, char *out, size_t size);
