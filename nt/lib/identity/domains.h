// The domains, internal side: the facts of this machine's LSA, the SIDs and
// names of the builtin, account and primary domains, the RID shift, domain
// offsets both ways through the trusted-domain tables, controllers, and the
// counted strings of the LSA.  Each fact is set up once under the library
// lock and read without it afterwards.
#pragma once

#include "lsa.h"
#include "ntx.h"
#include "win32.h"

// 4 when the setting LargeRIDs is non-zero, else 0; read once per process.
int ntx_large_rid_shift();

// S-1-5-32; null only when it could not be made (not retried).
PSID ntx_builtin_domain_sid();
// This machine's LSA answers (classes 3 and 5), or null; a failed read is
// tried again by the next call.
const POLICY_PRIMARY_DOMAIN_INFO *ntx_primary_domain_info();
const POLICY_ACCOUNT_DOMAIN_INFO *ntx_account_domain_info();
// The domain SIDs as the trusted-domain tables hold them, else as the LSA
// says; null when there is none.
PSID ntx_primary_domain_sid();
PSID ntx_account_domain_sid();
// 1 with the name in buffer (length characters or bytes), else 0.
int ntx_primary_domain_name_w(WCHAR *buffer, int length);
int ntx_account_domain_name(char *buffer, int length);
int ntx_is_account_domain_sid(PSID sid);
// 1 when the machine belongs to a domain (its LSA names a primary domain SID).
int ntx_is_domain_member();

// The offset of a domain SID shifted left by the RID shift, 0 when the
// domain is unknown; *value_out points to the calling thread's copy of the
// table value (name and unshifted offset).
DWORD ntx_sid_to_tpo(PSID domain_sid, ntx_sid_tpo_value **value_out);
// The SID of the domain with that shifted offset, inside the calling
// thread's copy of the table value (*value_out), or null.
PSID ntx_tpo_to_sid(DWORD shifted_offset, ntx_tpo_sid_value **value_out);
// The name of an account SID's domain (the calling thread's buffer), or null.
const char *ntx_domain_name_of_sid(PSID sid);

// A controller of `domain` (null or empty: the primary domain) in *dc_out,
// freed with NetApiBufferFree; *dc_out is null when this machine answers.
// A Win32 or network-management error, 0 on success.
DWORD ntx_get_any_dc_w(LPCWSTR domain, LPWSTR *dc_out);

// The LSA's counted multibyte string.
typedef struct _LSA_STRING {
    USHORT Length;
    USHORT MaximumLength;
    char *Buffer;
} LSA_STRING, *PLSA_STRING;

// A counted wide copy of text (null: empty), its buffer freed by the caller
// with free; 1, or 0 when memory or the conversion fails.
int ntx_CreateLsaUnicodeStringFromAsciiz(LSA_UNICODE_STRING *out, const char *text);
// A counted multibyte copy (ANSI code page), its buffer freed with free; 1 or 0.
int ntx_CreateLsaStringFromLsaUnicodeString(LSA_STRING *out, const LSA_UNICODE_STRING *text);

// The identity flush's part here: forget the logon-session SID (well-known 14).
void ntx_forget_logon_session_sid();
