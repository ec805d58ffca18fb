// Network management (NetApi32) and domain-controller location: user
// information, the browse list, controllers, and the buffers these calls
// return, each one allocation freed with NetApiBufferFree.  Servers are named
// with or without leading backslashes; null is this machine.
// Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include "machine/directory.h"
#include "winbase.h"

extern "C" {

typedef DWORD NET_API_STATUS;
constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFF;

NET_API_STATUS NetApiBufferAllocate(DWORD bytes, LPVOID *buffer);
NET_API_STATUS NetApiBufferFree(LPVOID buffer);

// ---- users ---------------------------------------------------------------------
constexpr DWORD USER_PRIV_GUEST = 0;
constexpr DWORD USER_PRIV_USER = 1;
constexpr DWORD USER_PRIV_ADMIN = 2;
constexpr DWORD UF_SCRIPT = 0x0001;
constexpr DWORD UF_NORMAL_ACCOUNT = 0x0200;
constexpr DWORD UF_DONT_EXPIRE_PASSWD = 0x10000;
constexpr DWORD TIMEQ_FOREVER = 0xFFFFFFFF;
constexpr DWORD USER_MAXSTORAGE_UNLIMITED = 0xFFFFFFFF;
constexpr DWORD UNITS_PER_WEEK = 168;

typedef struct _USER_INFO_3 {
    LPWSTR usri3_name;
    LPWSTR usri3_password;
    DWORD usri3_password_age;
    DWORD usri3_priv;
    LPWSTR usri3_home_dir;
    LPWSTR usri3_comment;
    DWORD usri3_flags;
    LPWSTR usri3_script_path;
    DWORD usri3_auth_flags;
    LPWSTR usri3_full_name;
    LPWSTR usri3_usr_comment;
    LPWSTR usri3_parms;
    LPWSTR usri3_workstations;
    DWORD usri3_last_logon;
    DWORD usri3_last_logoff;
    DWORD usri3_acct_expires;
    DWORD usri3_max_storage;
    DWORD usri3_units_per_week;
    LPBYTE usri3_logon_hours;
    DWORD usri3_bad_pw_count;
    DWORD usri3_num_logons;
    LPWSTR usri3_logon_server;
    DWORD usri3_country_code;
    DWORD usri3_code_page;
    DWORD usri3_user_id;
    DWORD usri3_primary_group_id;
    LPWSTR usri3_profile;
    LPWSTR usri3_home_dir_drive;
    DWORD usri3_password_expired;
} USER_INFO_3, *PUSER_INFO_3, *LPUSER_INFO_3;

// Level 3 only.  This machine answers with its Linux accounts, a controller
// with its domain's users; NERR_UserNotFound for any other name.  A server
// that is unknown gives ERROR_BAD_NETPATH, one that does not answer
// RPC_S_SERVER_UNAVAILABLE, one that needs an IPC$ session ERROR_LOGON_FAILURE.
NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE *buffer);

// ---- groups ------------------------------------------------------------------------
typedef struct _GROUP_INFO_1 {
    LPWSTR grpi1_name;
    LPWSTR grpi1_comment;
} GROUP_INFO_1, *PGROUP_INFO_1;

typedef struct _GROUP_USERS_INFO_0 {
    LPWSTR grui0_name;
} GROUP_USERS_INFO_0, *PGROUP_USERS_INFO_0;

typedef struct _LOCALGROUP_USERS_INFO_0 {
    LPWSTR lgrui0_name;
} LOCALGROUP_USERS_INFO_0, *PLOCALGROUP_USERS_INFO_0;

constexpr DWORD LG_INCLUDE_INDIRECT = 0x0001;

// Level 1 only: a controller's domain group, or a Linux group of this
// machine (without comment); NERR_GroupNotFound for any other name.
NET_API_STATUS NetGroupGetInfo(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE *buffer);
// Level 0 only.  The user's global groups: a controller's domain groups that
// list the user, its primary group first; this machine has none.  Entries
// of about `preferred` bytes (MAX_PREFERRED_LENGTH: all); ERROR_MORE_DATA
// when some did not fit; NERR_UserNotFound for an unknown user.
NET_API_STATUS NetUserGetGroups(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE *buffer, DWORD preferred,
                                LPDWORD read, LPDWORD total);
// Level 0 only.  The builtin groups that hold the user and, on this machine,
// its Linux groups, each as DOMAIN\name; sizes and errors as NetUserGetGroups.
NET_API_STATUS NetUserGetLocalGroups(LPCWSTR server, LPCWSTR user, DWORD level, DWORD flags, LPBYTE *buffer,
                                     DWORD preferred, LPDWORD read, LPDWORD total);

// ---- the browse list ----------------------------------------------------------------
constexpr DWORD SV_TYPE_WORKSTATION = 0x00000001;
constexpr DWORD SV_TYPE_SERVER = 0x00000002;
constexpr DWORD SV_TYPE_DOMAIN_CTRL = 0x00000008;
constexpr DWORD SV_TYPE_DOMAIN_BAKCTRL = 0x00000010;
constexpr DWORD SV_TYPE_NT = 0x00001000;
constexpr DWORD SV_TYPE_SERVER_NT = 0x00008000;
constexpr DWORD SV_TYPE_ALL = 0xFFFFFFFF;
constexpr DWORD PLATFORM_ID_NT = 500;

typedef struct _SERVER_INFO_100 {
    DWORD sv100_platform_id;
    LPWSTR sv100_name;
} SERVER_INFO_100, *PSERVER_INFO_100, *LPSERVER_INFO_100;

// Level 100: the machines of `domain` (null: this machine's domain or
// workgroup) whose type has a bit of `type`, sorted by name: the controllers
// and the [[machines]] of that domain, and this machine when it belongs to it.
// About `preferred` bytes of entries but at least one from *resume on:
// ERROR_MORE_DATA with *resume set to go on, NERR_Success with *resume 0 at
// the end; ERROR_NO_BROWSER_SERVERS_FOUND for a domain without machines.
NET_API_STATUS NetServerEnum(LPCWSTR server, DWORD level, LPBYTE *buffer, DWORD preferred, LPDWORD read,
                             LPDWORD total, DWORD type, LPCWSTR domain, LPDWORD resume);

// ---- domain controllers ----------------------------------------------------------
// "\\NAME" of the primary controller of `domain` (null: the server's own
// domain); NERR_DCNotFound when there is none or it does not answer.
NET_API_STATUS NetGetDCName(LPCWSTR server, LPCWSTR domain, LPBYTE *buffer);
// "\\NAME" of a controller of `domain` (null: the server's own domain) that
// answers, primary first; ERROR_NO_SUCH_DOMAIN for a domain that the server
// does not know, ERROR_NO_LOGON_SERVERS when none answers.
NET_API_STATUS NetGetAnyDCName(LPCWSTR server, LPCWSTR domain, LPBYTE *buffer);

constexpr ULONG DS_FORCE_REDISCOVERY = 0x00000001;
constexpr ULONG DS_DIRECTORY_SERVICE_REQUIRED = 0x00000010;
constexpr ULONG DS_DIRECTORY_SERVICE_PREFERRED = 0x00000020;
constexpr ULONG DS_GC_SERVER_REQUIRED = 0x00000040;
constexpr ULONG DS_PDC_REQUIRED = 0x00000080;
constexpr ULONG DS_BACKGROUND_ONLY = 0x00000100;
constexpr ULONG DS_IP_REQUIRED = 0x00000200;
constexpr ULONG DS_KDC_REQUIRED = 0x00000400;
constexpr ULONG DS_TIMESERV_REQUIRED = 0x00000800;
constexpr ULONG DS_WRITABLE_REQUIRED = 0x00001000;
constexpr ULONG DS_GOOD_TIMESERV_PREFERRED = 0x00002000;
constexpr ULONG DS_AVOID_SELF = 0x00004000;
constexpr ULONG DS_ONLY_LDAP_NEEDED = 0x00008000;
constexpr ULONG DS_IS_FLAT_NAME = 0x00010000;
constexpr ULONG DS_IS_DNS_NAME = 0x00020000;
constexpr ULONG DS_RETURN_DNS_NAME = 0x40000000;
constexpr ULONG DS_RETURN_FLAT_NAME = 0x80000000;

constexpr ULONG DS_PDC_FLAG = 0x00000001;
constexpr ULONG DS_GC_FLAG = 0x00000004;
constexpr ULONG DS_LDAP_FLAG = 0x00000008;
constexpr ULONG DS_DS_FLAG = 0x00000010;
constexpr ULONG DS_KDC_FLAG = 0x00000020;
constexpr ULONG DS_TIMESERV_FLAG = 0x00000040;
constexpr ULONG DS_WRITABLE_FLAG = 0x00000100;
constexpr ULONG DS_DNS_CONTROLLER_FLAG = 0x20000000;
constexpr ULONG DS_DNS_DOMAIN_FLAG = 0x40000000;
constexpr ULONG DS_DNS_FOREST_FLAG = 0x80000000;

constexpr ULONG DS_INET_ADDRESS = 1;
constexpr ULONG DS_NETBIOS_ADDRESS = 2;

typedef struct _DOMAIN_CONTROLLER_INFOW {
    LPWSTR DomainControllerName;     // "\\NAME", or "\\name.dns.domain"
    LPWSTR DomainControllerAddress;  // "\\NAME"
    ULONG DomainControllerAddressType;
    GUID DomainGuid;
    LPWSTR DomainName;
    LPWSTR DnsForestName;
    ULONG Flags;
    LPWSTR DcSiteName;
    LPWSTR ClientSiteName;
} DOMAIN_CONTROLLER_INFOW, *PDOMAIN_CONTROLLER_INFOW;

// A controller of `domain` (null: the asking machine's domain) that answers
// and meets `flags`; ERROR_NO_SUCH_DOMAIN when there is none or the machine
// is in a workgroup, ERROR_INVALID_FLAGS for contradicting flags.  The domain
// GUID and site arguments are not used.
DWORD DsGetDcNameW(LPCWSTR computer, LPCWSTR domain, GUID *domain_guid, LPCWSTR site, ULONG flags,
                   PDOMAIN_CONTROLLER_INFOW *info);

}  // extern "C"

namespace quarn::win32 {

// The machine `server` names for a network-management call, or that call's
// error: ERROR_BAD_NETPATH (unknown), RPC_S_SERVER_UNAVAILABLE (does not
// answer), ERROR_LOGON_FAILURE (needs an IPC$ session first).
NET_API_STATUS net_server(LPCWSTR server, std::optional<Host> &host);

}  // namespace quarn::win32
