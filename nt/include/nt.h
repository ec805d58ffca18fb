/*
 * nt.h: the NT utilities of libquarnnt: start-up, error texts and errno
 * mapping, the event log, the library lock and environment access, the
 * platform code, and the identity of the calling thread.  Usable from C and C++.
 */
#ifndef QUARN_NT_H
#define QUARN_NT_H

#include "ntexport.h"
#include "ntwintypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- start-up ------------------------------------------------------------ */

/* Opens the identity name caches; call once, before the other functions.  */
NT_API void nt_init(void);

/* ---- errors and events ------------------------------------------------------ */

/* Where nt_get_error_string looks a code up. */
#define NT_ERROR_KIND_WIN32 0    /* system table; 2100-2999 network management first */
#define NT_ERROR_KIND_NETMSG 1   /* the network-management messages */
#define NT_ERROR_KIND_NTSTATUS 2 /* NT status codes (3 is the same) */

/* The errno value for a Win32 error code (0 for 0); errno itself is untouched. */
NT_API int nt_win32error2errno(DWORD code);

/* A readable text for `code` in `buffer` (size bytes, always terminated). */
NT_API char *nt_get_error_string(DWORD code, int kind, int size, char *buffer);

#define NT_EVENT_ERROR 1
#define NT_EVENT_WARNING 2
#define NT_EVENT_INFORMATION 4

/* Reports one event under the source "Zendrel". */
NT_API void nt_log_event(int type, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* ---- the library lock and the environment ------------------------------------ */

NT_API void nt_environment_lock(void);
NT_API void nt_environment_unlock(void);

/* Copies the value of `name` (cut to size-1 characters) into `buffer` and
 * stores its length + 1 in *needed; null when unset or no buffer was given. */
NT_API char *nt_getenv_safe(const char *name, char *buffer, size_t size, size_t *needed);
NT_API int nt_putenv_safe(const char *assignment);

/* ---- platform ------------------------------------------------------------------ */

#define NT_OS_WIN32S 0x0001
#define NT_OS_WIN95 0x0002
#define NT_OS_WIN98 0x0004
#define NT_OS_NT3 0x0100
#define NT_OS_NT4 0x0200
#define NT_OS_NT5 0x0400
#define NT_OS_VISTA 0x0800
#define NT_OS_WIN7 0x1000
#define NT_OS_ANY_NT 0x1F00
#define NT_OS_NT5_OR_LATER 0x1C00
#define NT_OS_WIN9X 0x0006

/* The platform code (one NT_OS_ bit); QUARN_FORCE_PLATFORM overrides it. */
NT_API int nt_osinfo(void);
/* 2 for any NT platform, 1 for Windows 95 or 98, 0 otherwise. */
NT_API int nt_win32_platform(void);

/* ---- paths ------------------------------------------------------------------------
 * Sizes are in bytes.  Results are 0, or -1 with errno and the Win32 last
 * error set (a name too long: last error 111, errno ENAMETOOLONG).  Wide
 * paths are UTF-16; multibyte ones UTF-8.  No argument may be null. */

/* An absolute extended-length wide path ("\\?\C:\x", "\\?\UNC\srv\sh\x");
 * device paths ("\\.\x") and extended-length input keep their form. */
NT_API int nt_get_wide_path(const char *path, WCHAR *out, size_t size);
/* "\\?\C:\x" -> "C:\x", "\\?\UNC\srv\sh" -> "\\srv\sh"; others copied. */
NT_API int nt_strip_prefix_from_wide_path(const WCHAR *path, WCHAR *out, size_t size);
/* The prefix removed and the rest in multibyte form. */
NT_API int nt_get_thin_path(const WCHAR *path, char *out, size_t size);
/* The absolute multibyte path. */
NT_API int nt_get_full_path(const char *path, char *out, size_t size);
/* Refuses paths of 260 characters or more for the rest of the process. */
NT_API void nt_disable_long_path(void);

/* "\\srv\sh\a" -> "\\srv\sh\" + "a"; "\\a" -> "\\" + "a"; "X:\a" ->
 * "X:\" + "a"; 0, or -1 for other forms or buffers too small. */
NT_API int nt_file_root_split(const char *path, char *root, size_t root_size, char *rest, size_t rest_size);
/* "\DosDevices\C:\x" or "\Device\HarddiskVolume1\x" -> "C:\x" in a new
 * string the caller frees (*out null on failure); 0 or a Win32 error. */
NT_API DWORD nt_kernel_to_dosdevice_user_path(const char *kernel_path, char **out);
/* The directory a local share exports: 0; -1 without one; ENAMETOOLONG when
 * it does not fit; the errno value of a registry failure. */
NT_API int nt_get_local_sharename_path(const char *share, char *out, size_t size);
/* 1 if the machine is a terminal server (QUARN_FORCE_WTS "Admin" or "User"
 * says so whatever the machine is); *admin_mode (may be null) 1 in
 * administration mode. */
NT_API int nt_is_terminal_server(int *admin_mode);
/* 1 if the machine is a terminal server whose client network is of the
 * terminal-client type (32766). */
NT_API int nt_is_citrix_metaframe(void);
/* A new UTF-16 copy of `text` (null gives null), freed with free. */
NT_API WCHAR *nt_sz_to_unicode(const char *text);

/* ---- drives, file systems and file attributes ------------------------------------ */

/* Drive kinds of nt_get_drive_type. */
#define NT_DRIVE_FIXED 1
#define NT_DRIVE_REMOVABLE 2
#define NT_DRIVE_REMOTE 3
#define NT_DRIVE_CDROM 4
#define NT_DRIVE_RAMDISK 5

/* File-system kinds of nt_get_fs_type, from the volume's file-system name. */
#define NT_FS_FAT 0   /* "FAT" or "FAT32" */
#define NT_FS_NTFS 1  /* "NTFS" */
#define NT_FS_HPFS 2  /* "HPFS" */
#define NT_FS_OTHER 3 /* any other name, or the volume cannot be asked */
#define NT_FS_CDFS 4  /* "CDFS" */

/* The kind of drive `path` lives on in *drive_type (0 until known): 0, or -1
 * when it is unknown (no drive letter, a path of MAX_PATH or more, no such
 * drive).  A null argument gives -1. */
NT_API int nt_get_drive_type(const char *path, int *drive_type);
/* The kind of file system `path` lives on in *fs_type: 0; or -1, with
 * NT_FS_OTHER stored when the volume cannot be asked and nothing stored when
 * the path cannot be made absolute.  A null argument gives -1. */
NT_API int nt_get_fs_type(const char *path, int *fs_type);
/* FILE_PERSISTENT_ACLS (0x8) in *has_acl when the file system of `path` keeps
 * access control lists, else 0: 0, or -1 on failure, *has_acl then untouched.
 * A null argument gives -1. */
NT_API int nt_fs_has_acl(const char *path, int *has_acl);

/* The attribute helpers; a null `path` is one whose attributes cannot be read.
 * 1 when `path` is read-only or its attributes cannot be read, else 0. */
NT_API int nt_get_file_readonly(const char *path);
/* Add the read-only, archive or hidden attribute: nonzero, or 0 on failure. */
NT_API int nt_set_file_readonly(const char *path);
NT_API int nt_set_file_archive(const char *path);
NT_API int nt_set_file_hidden(const char *path);
/* Removes the read-only attribute where it is set: nonzero (also for a file
 * that was not read-only), or 0 on failure. */
NT_API int nt_unset_file_readonly(const char *path);

/* ---- crash dumps ----------------------------------------------------------------- */

/* 1 when dumps can be written: the log and program folders of the host-data
 * directory exist, DisableMiniDump is not set and the dump writer loaded. */
NT_API int nt_initialize_minidump(void);
/* Writes a dump to the log folder when the program dies of a fatal signal;
 * non-zero `no_fault_dialog` also turns off the fault dialog. */
NT_API void nt_register_minidump(int no_fault_dialog);
/* Writes a dump of the running program to `path` (null: the log folder's
 * PROGRAM.PID.TICKS.dmp) with the reason text (may be null); the program goes on. */
NT_API void nt_write_minidump(const char *path, const char *reason);

/* ---- executables ----------------------------------------------------------------- */

/* Whether `path` is a windowed program, in *is_gui (may be null): 0, or an errno value. */
NT_API int nt_is_gui_app(const char *path, int *is_gui);

/* ---- localised resource libraries ---------------------------------------------- */

/* The user's interface language identifier, from the locale (0: neutral). */
NT_API WORD nt_get_ui_language(void);
/* Loads the resource library of `module` (null: the program) that best fits
 * the interface language, from "resdll" beside the module; a non-zero
 * `debug` asks for the debug variants.  The library's handle, or null. */
NT_API HMODULE nt_load_resource_dll(HMODULE module, int debug);
/* The name under which `application`'s localised resources are registered
 * (APP_ABBREV, or APP) in `name` (at least 260 bytes): 0, or -1. */
NT_API int nt_find_vb_resource_app_name(const char *application, char *name);

/* ---- identity --------------------------------------------------------------------- */

/* The calling thread's user SID, owned by the library; 1, or 0 on failure. */
NT_API int nt_get_user_sid(PSID *sid_out);

/* ---- SIDs: text, account types, classes and well-known SIDs ------------------- */

/* The text form "S-1-5-21-..." of sid in dst (len bytes, cut and always
 * terminated); dst, or null when sid has none. */
NT_API char *nt_sid_to_str(PSID sid, char *dst, size_t len);
/* Parses "S-1-<authority>-<sub>..." (each number decimal, 0x hexadecimal or
 * 0 octal; an authority up to 255; up to 8 sub-authorities) into a SID freed
 * with nt_free_sid; 0, or -1 with *sid_out untouched. */
NT_API int nt_str_to_sid(const char *text, PSID *sid_out);
/* Frees a SID of nt_str_to_sid; sid may be NULL. */
NT_API void nt_free_sid(PSID sid);

/* Account types (SID_NAME_USE). */
#define NT_SID_USER 1
#define NT_SID_GROUP 2
#define NT_SID_DOMAIN 3
#define NT_SID_ALIAS 4
#define NT_SID_WELL_KNOWN_GROUP 5
#define NT_SID_DELETED_ACCOUNT 6
#define NT_SID_INVALID 7
#define NT_SID_UNKNOWN 8
#define NT_SID_COMPUTER 9
#define NT_SID_LABEL 10

/* "User", "Group", ... for codes 1 to 10; null for any other. */
NT_API const char *nt_sid_name_use_to_str(int code);
/* 1 if this machine's account database names sid a group, alias or
 * well-known group, else 0. */
NT_API int nt_sid_is_group(PSID sid);
NT_API int nt_sid_is_integrity_level(PSID sid);
/* 1 for a logon-session SID S-1-5-5-X-Y, else 0. */
NT_API int nt_is_sid_logon_id(PSID sid);
/* 1 for a user or group of the primary or a trusted domain, else 0. */
NT_API int nt_is_domain_sid(PSID sid);
/* 0 for an account of the primary or a trusted domain and for a null or
 * invalid SID; 1 for this machine's accounts and every other SID. */
NT_API int nt_is_local_sid(PSID sid);
/* A new SID (freed with free) of sid with one more sub-authority, or null. */
NT_API PSID nt_sid_append_rid(PSID sid, DWORD rid);

/* Numbers of nt_get_enum_sid. */
#define NT_ENUM_SID_WORLD 0
#define NT_ENUM_SID_ZENDREL_GROUP 1
#define NT_ENUM_SID_CREATOR_OWNER 2
#define NT_ENUM_SID_CREATOR_GROUP 3
#define NT_ENUM_SID_ADMINISTRATORS 4
#define NT_ENUM_SID_LOCAL_SYSTEM 5
#define NT_ENUM_SID_NETWORK 6
#define NT_ENUM_SID_BATCH 7
#define NT_ENUM_SID_INTERACTIVE 8
#define NT_ENUM_SID_SERVICE 9
#define NT_ENUM_SID_AUTHENTICATED_USERS 10
#define NT_ENUM_SID_LOCAL 11
#define NT_ENUM_SID_LOCAL_ADMINISTRATOR 12
#define NT_ENUM_SID_DOMAIN_ADMINS 13
#define NT_ENUM_SID_LOGON_SESSION 14
#define NT_ENUM_SID_ACCOUNT_DOMAIN 15
#define NT_ENUM_SID_BUILTIN_DOMAIN 16
#define NT_ENUM_SID_PRIMARY_DOMAIN 17
#define NT_ENUM_SID_DIALUP 18
#define NT_ENUM_SID_ANONYMOUS 19
#define NT_ENUM_SID_PROXY 20
#define NT_ENUM_SID_ENTERPRISE_CONTROLLERS 21
#define NT_ENUM_SID_PRINCIPAL_SELF 22
#define NT_ENUM_SID_RESTRICTED 23
#define NT_ENUM_SID_TERMINAL_SERVER_USER 24
#define NT_ENUM_SID_POWER_USERS 25
#define NT_ENUM_SID_NULL 26
#define NT_ENUM_SID_COUNT 27

/* The well-known SID of that number (owned by the library), or null. */
NT_API PSID nt_get_enum_sid(int number);

/* ---- domains ------------------------------------------------------------------- */

/* A controller of `domain` (null: the primary domain) in *dc_out, a buffer
 * of the calling thread, or null when this machine answers; 1, or 0. */
NT_API int nt_get_any_dc(const char *domain, char **dc_out);
/* 1 if the primary domain is served by a directory service, else 0. */
NT_API int nt_is_in_active_directory(void);

/* ---- shared memory support ----------------------------------------------------- */

/* The logon session (the token's AuthenticationId) of a process as one
 * number; 999 for LocalSystem, 0 on any failure. */
NT_API ULONGLONG nt_get_logon_luid(DWORD process_id);
/* Security attributes open to everybody (a null access list), owned by the
 * library; null when they cannot be built. */
NT_API LPSECURITY_ATTRIBUTES nt_public_security_attributes(void);
/* 1 if kernel object names may carry the "Global\" prefix, else 0. */
NT_API int nt_ob_has_global_prefix(void);

/* ---- tokens and account names ------------------------------------------------ */

/* The room of a qualified account name "DOMAIN\name", terminator included. */
#define NT_QUALIFIED_NAME_SIZE 322

/* Text of the current user's SID in dst (len bytes); 0, or -1. */
NT_API int nt_get_sid_str(char *dst, size_t len);
/* A malloc'd copy of the current user's domain SID in *domain_out (set to
 * null first); 0, or -1. */
NT_API int nt_get_domain_sid(PSID *domain_out);
NT_API int nt_get_domain_sid_str(char *dst, size_t len);
/* The current user's domain name in dst (len bytes); 0, or -1. */
NT_API int nt_get_domain_name(char *dst, size_t len);
/* 1 if the current user is an account of the primary or a trusted domain. */
NT_API int nt_is_domain_user(void);
/* A primary token made from the thread's impersonation token in *token_out
 * (closed by the caller), or INVALID_HANDLE_VALUE when the thread is not
 * impersonating; 0, or -1 with INVALID_HANDLE_VALUE on failure. */
NT_API int nt_get_impersonation_token(HANDLE *token_out);

/* Resolves `name` on `server` (null: this machine), a bare name first as the
 * user's DOMAIN\name: the SID (sid_size bytes), the referenced domain
 * (domain_size characters), the account type (NT_SID_*) and the qualified
 * name in qualified_out (NT_QUALIFIED_NAME_SIZE bytes); 1, or 0. */
NT_API int nt_lookup_account_name_server(const char *server, const char *name, PSID sid, DWORD sid_size,
                                         char *domain, DWORD domain_size, int *use_out, char *qualified_out);
NT_API int nt_lookup_account_name(const char *name, PSID sid, DWORD sid_size, char *domain, DWORD domain_size,
                                  int *use_out, char *qualified_out);
/* Text of the SID, or of the domain SID, of the user `name`; 0, or -1. */
NT_API int nt_get_user_sid_str(const char *name, char *dst, size_t len);
NT_API int nt_get_domain_sid_str_user(const char *name, char *dst, size_t len);
/* 1 if `name` is a well-known group, else 0. */
NT_API int nt_is_well_known_group_cred(const char *name);
/* The current user's DOMAIN\name (the library's buffer), or null. */
NT_API char *nt_getlogin(void);
/* "\\NAME" of the primary domain controller in dst (max bytes): 1, with an
 * empty dst outside any domain; 0 when it cannot be had. */
NT_API int nt_get_pdc_name(char *dst, int max);

/* The four identity name caches on standard output. */
NT_API void nt_dump_cache(void);
/* Call after changing the thread's token: the identity answers kept from
 * the old token are forgotten.  Neither changes the token. */
NT_API void nt_impersonate_user(void);
NT_API void nt_revert_to_self(void);

/* ---- the product group, privileges and security attributes ---------------------- */

/* The product group's name ("zendrel" unless ZendrelGroupName says
 * otherwise), unscrambled, ".\" expanded; the library's buffer, never null. */
NT_API const char *nt_get_zendrel_group_name(void);
/* Stores the group name scrambled (nonzero) or plain (0) and sets
 * InstallConfiguration's bit 0x800 to match: 1, or 0 when
 * InstallConfiguration cannot be read, a stored name does not unscramble or
 * a name is too long (over 240 bytes) to scramble. */
NT_API int nt_install_update(int scramble);

/* 1 if an enabled group of the current token is the product group, or
 * Administrators while AdminsArePrivileged is on; else 0. */
NT_API int nt_is_privileged(void);
/* 1 if Administrators is an enabled group of the current token, else 0. */
NT_API int nt_is_administrators(void);
/* 1 if user_sid or one of the group_count SIDs of group_sids (may be null
 * when group_count is 0) is the product group, or Administrators while
 * AdminsArePrivileged is on.  reserved is ignored; invalid SIDs match nothing. */
NT_API int nt_is_privileged_sid_creds(void *reserved, PSID user_sid, int group_count, PSID *group_sids);
/* The same; the product group counts only when its setting says it is privileged. */
NT_API int nt_is_privileged_sid_creds_check_zngroup_priv(void *reserved, PSID user_sid, int group_count,
                                                         PSID *group_sids);

/* The room of a saved privilege state: a count and 32 entries. */
#define NT_SAVED_PRIVILEGES_SIZE 388
/* 1 if the current token holds SeTakeOwnershipPrivilege and SeRestorePrivilege. */
NT_API int nt_is_chown_privileged(void);
/* Enables both; saved (NT_SAVED_PRIVILEGES_SIZE bytes, not null) receives the
 * previous state, a count of 0 when nothing changed; 1, or 0. */
NT_API int nt_enable_chown_privileges(void *saved);
/* Hands a saved state back to the token; null or a count of 0 does nothing. */
NT_API void nt_restore_chown_privileges(void *saved);
/* Enables SeTakeOwnershipPrivilege, the previous state in saved: 1 when it
 * is then enabled, else 0. */
NT_API int nt_enable_kelfs_privs(void *saved);
NT_API void nt_disable_kelfs_privs(void *saved);
/* Attributes owned by the current user and open with access_mask to the
 * user, the product group, Administrators and LocalSystem; with
 * network_flag, denied to network logons first and open to the user only.
 * The calling thread's block, valid until its next call with other
 * arguments or another user; null on failure. */
NT_API LPSECURITY_ATTRIBUTES nt_owner_security_attributes(DWORD access_mask, int network_flag);

/* ---- group lists and the primary group ------------------------------------------ */

/* The groups named by ZENDREL_GROUPS, in its order: built once per process. */
typedef struct nt_prioritized_groups {
    int count;
    PSID sids[32];
} nt_prioritized_groups;

/* The group ZENDREL_PRIMARY_GROUP names (the calling thread's buffer), or
 * null when it is unset, empty or names no group. */
NT_API PSID nt_get_primary_group_from_env(void);
/* Makes that group the primary group of the process's token: 0 on success or
 * when there is nothing to do, else a Win32 error code. */
NT_API DWORD nt_set_primary_group_from_env(DWORD process_id);
/* The calling thread's effective primary group in *sid_out (the library's);
 * 1, or 0 on failure or a null sid_out. */
NT_API int nt_getgroup_sid(PSID *sid_out);
/* With count 0, the number of the thread's groups; else up to count SIDs
 * (the library's, valid until the thread ends or the identity flush) copied
 * into sids_out and their number.  -1 when the list cannot be built. */
NT_API int nt_getgroups_sid(int count, PSID *sids_out);
/* The library's record of the ZENDREL_GROUPS groups. */
NT_API nt_prioritized_groups *nt_get_prioritized_groups_list(void);

/* ---- network credentials -------------------------------------------------------- */

/* What a server needs of a user who is not logged on here.  Every text and
 * SID is a block of its own; freed with nt_user_free_credentials. */
typedef struct nt_credentials {
    WCHAR *user_name;        /* DOMAIN\name */
    PSID user_sid;
    PSID primary_group_sid;  /* after domain group mapping */
    int group_count;
    WCHAR **group_names;     /* DOMAIN\name each; null when group_count is 0 */
    PSID *group_sids;        /* in the order of group_names */
} nt_credentials;

/* The record of the user `name` in *record_out (set to null first): 0, or -1. */
NT_API int nt_user_get_credentials(const char *name, nt_credentials **record_out);
/* Frees a record; null is accepted.  Returns 0. */
NT_API int nt_user_free_credentials(nt_credentials *record);

/* ---- uids, passwd and group records --------------------------------------------- */

/* No uid: the SID has none, or the uid names no SID. */
#define NT_NO_UID 0xFFFFFFFFu

/* A user's record.  It belongs to the library and stays valid until the
 * thread's next call of the same function or the thread's end. */
typedef struct nt_passwd {
    char *pw_name;          /* DOMAIN\name, NT_QUALIFIED_NAME_SIZE bytes */
    PSID pw_sid;            /* the user's SID, in 68 bytes */
    PSID pw_primary_group;  /* the user's primary group, or null */
    char *pw_gecos;         /* the full name up to its first of ",;:([<{", or empty */
    char *pw_dir;           /* the home directory, or empty */
} nt_passwd;

/* A group's record, owned as the passwd record is. */
typedef struct nt_group {
    char *gr_name; /* DOMAIN\name */
    PSID gr_sid;
} nt_group;

/* The uid (and gid) of a SID: its domain's uid base OR its RID; NT_NO_UID. */
NT_API DWORD nt_sid_to_uid(PSID sid);
NT_API nt_passwd *nt_getpwnam_sid(const char *name);
NT_API nt_passwd *nt_getpwsid_sid(PSID sid);
NT_API nt_group *nt_getgrnam_sid(const char *name);
NT_API nt_group *nt_getgrsid_sid(PSID sid);
/* The current user's home directory in dst (at least 261 bytes), or null. */
NT_API char *nt_get_my_homedir(char *dst, size_t dst_len);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_NT_H */
