/*
 * ntx.h: the extended utilities of libquarnnt: SID text and domain classes,
 * and the domains this machine knows: its primary domain, the domains that
 * domain trusts with their POSIX offsets (the trusted-domain database and
 * its two machine-wide tables), membership of other machines and the right
 * to log on as a service.  Usable from C and C++.
 */
#ifndef QUARN_NTX_H
#define QUARN_NTX_H

#include "ntexport.h"
#include "ntwintypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The fixed SID buffer of the identity functions: room for 15 sub-authorities. */
#define NTX_SID_SIZE 68
/* The name field of the trusted-domain tables' values (terminator included). */
#define NTX_DOMAIN_NAME_SIZE 68

/* Domain offsets: the high part of every uid of a domain. */
#define NTX_BUILTIN_OFFSET 0x20000u
#define NTX_ACCOUNT_OFFSET 0x30000u
#define NTX_PRIMARY_OFFSET 0x100000u
/* A trusted domain whose POSIX offset could not be read. */
#define NTX_NO_POSIX_OFFSET 0xFFFFu

/* Classes of domain SIDs (ntx_get_domain_sid_type). */
#define NTX_DOMAIN_NONE 0
#define NTX_DOMAIN_BUILTIN 1
#define NTX_DOMAIN_PRIMARY 2
#define NTX_DOMAIN_ACCOUNT 3
#define NTX_DOMAIN_TRUSTED 4
#define NTX_DOMAIN_TRUSTED_NO_OFFSET 5

/* One domain that the primary domain trusts. */
typedef struct ntx_tpo_entry {
    DWORD offset; /* its POSIX offset, or NTX_NO_POSIX_OFFSET */
    PSID sid;
    char *name;   /* the flat (NetBIOS) name */
} ntx_tpo_entry;

/* The trusted-domain list, read once from the primary domain's controller. */
typedef struct ntx_tpo_db {
    ntx_tpo_entry *entries;
    int count;
    int capacity;
} ntx_tpo_db;

/* A value of the "Sid->Tpo" table, and of "Tpo->Sid". */
typedef struct ntx_sid_tpo_value {
    char name[NTX_DOMAIN_NAME_SIZE];
    DWORD offset;
} ntx_sid_tpo_value;

typedef struct ntx_tpo_sid_value {
    char name[NTX_DOMAIN_NAME_SIZE];
    BYTE sid[NTX_SID_SIZE];
} ntx_tpo_sid_value;

/* ---- SIDs ------------------------------------------------------------------- */

/* The same as nt_sid_to_str. */
NT_API char *ntx_sid_to_str(PSID sid, char *dst, size_t len);
/* The class (NTX_DOMAIN_*) of a domain SID; for classes 1-4 its uid base in
 * *base_out, which is left alone otherwise. */
NT_API int ntx_get_domain_sid_type(PSID domain_sid, DWORD *base_out);
/* A malloc'd copy of an account SID's domain in *domain_out and 0; -1 for
 * any other SID. */
NT_API int ntx_get_sid_domain(PSID sid, PSID *domain_out);

/* ---- domains ------------------------------------------------------------------ */

/* The trusted-domain list (the library's), or null. */
NT_API ntx_tpo_db *ntx_get_tpo_db_from_lsa(void);
/* Fills the machine-wide "Sid->Tpo" and "Tpo->Sid" tables; the result of
 * closing the last one (1 for success). */
NT_API int ntx_set_cached_tpo_db(void);
/* Prints both tables on standard output. */
NT_API void ntx_dump_cache(void);
/* 1 with the primary domain's name in buffer (length bytes), else 0. */
NT_API int ntx_what_domain(char *buffer, int length);
/* 1 if `machine` (null: this one) is in this machine's primary domain;
 * *reached is 1 once its LSA answered. */
NT_API int ntx_in_my_domain(const char *machine, int *reached);
/* Grants `account` the right to log on as a service on `machine` (null:
 * this one); a Win32 error code, 0 on success. */
NT_API DWORD ntx_grant_logon_svc(const char *machine, const char *account);

/* ---- uids -------------------------------------------------------------------- */

/* A malloc'd SID of `uid` in *sid_out and 0; -1 when the uid names none. */
NT_API int ntx_uid_to_sid(DWORD uid, PSID *sid_out);

/* ---- object-manager names ---------------------------------------------------------
 * A user path as its native name ("C:\x" -> "\??\C:\x"), with expand set
 * followed through symbolic links down to the device
 * ("\Device\HarddiskVolume1\x").  Sizes in bytes; 0, or -1 (the wide form
 * with the Win32 last error set). */
NT_API int ntx_cvt_to_ob_pname(const char *path, int expand, size_t size, char *out);
NT_API int ntx_cvt_to_ob_pname_w(const WCHAR *path, int expand, size_t size, WCHAR *out);
/* ---- processes ----------------------------------------------------------------- */

/* The id of the process that `pid` was started from, or 0. */
NT_API DWORD ntx_get_ppid(DWORD pid);

/* ---- the network ----------------------------------------------------------------- */

/* The 6-byte addresses of the Ethernet and Token Ring adapters, one after
 * another in a new array in *addresses (may be null; freed with free, null
 * when there are none): their number, 0, or -1 on failure. */
NT_API int ntx_my_mac_addresses(BYTE **addresses);
/* 1 if `host` (a name or address text) answers an echo request within a second, else 0. */
NT_API int ntx_ping_host(const char *host);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_NTX_H */
