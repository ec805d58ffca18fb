// The security and event-log part of the Win32 layer: SIDs, access tokens and
// the event log.  Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include "winbase.h"

extern "C" {

// ---- SIDs -------------------------------------------------------------------
typedef struct _SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

constexpr BYTE SID_REVISION = 1;
constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;
constexpr DWORD SECURITY_MAX_SID_SIZE = 68;

typedef struct _SID {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[1];
} SID;

constexpr DWORD SECURITY_LOCAL_SYSTEM_RID = 18;
constexpr DWORD SECURITY_NT_NON_UNIQUE = 21;
constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1, DWORD s2,
                              DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID *sid);
PVOID FreeSid(PSID sid);
BOOL IsValidSid(PSID sid);
DWORD GetLengthSid(PSID sid);
DWORD GetSidLengthRequired(UCHAR count);
BOOL InitializeSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE count);
BOOL CopySid(DWORD length, PSID destination, PSID source);
BOOL EqualSid(PSID a, PSID b);
BOOL EqualPrefixSid(PSID a, PSID b);
PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID sid);
DWORD *GetSidSubAuthority(PSID sid, DWORD index);
UCHAR *GetSidSubAuthorityCount(PSID sid);
BOOL ConvertSidToStringSidA(PSID sid, LPSTR *text);

// ---- access tokens -------------------------------------------------------------
constexpr DWORD TOKEN_ASSIGN_PRIMARY = 0x0001;
constexpr DWORD TOKEN_DUPLICATE = 0x0002;
constexpr DWORD TOKEN_IMPERSONATE = 0x0004;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_QUERY_SOURCE = 0x0010;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD TOKEN_ADJUST_GROUPS = 0x0040;
constexpr DWORD TOKEN_ADJUST_DEFAULT = 0x0080;
constexpr DWORD READ_CONTROL = 0x00020000;

typedef enum _TOKEN_INFORMATION_CLASS {
    TokenUser = 1,
    TokenGroups,
    TokenPrivileges,
    TokenOwner,
    TokenPrimaryGroup,
    TokenDefaultDacl,
    TokenSource,
    TokenType,
    TokenImpersonationLevel,
    TokenStatistics,
} TOKEN_INFORMATION_CLASS;

typedef struct _SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
} SID_AND_ATTRIBUTES, *PSID_AND_ATTRIBUTES;

// Callers may pass any number where these enumerations are asked for; the
// calls refuse the ones outside the range.
typedef enum _TOKEN_TYPE : int { TokenPrimary = 1, TokenImpersonation } TOKEN_TYPE;

typedef struct _TOKEN_USER {
    SID_AND_ATTRIBUTES User;
} TOKEN_USER, *PTOKEN_USER;

typedef struct _TOKEN_GROUPS {
    DWORD GroupCount;
    SID_AND_ATTRIBUTES Groups[1];
} TOKEN_GROUPS, *PTOKEN_GROUPS;

typedef struct _TOKEN_PRIMARY_GROUP {
    PSID PrimaryGroup;
} TOKEN_PRIMARY_GROUP, *PTOKEN_PRIMARY_GROUP;

typedef struct _TOKEN_OWNER {
    PSID Owner;
} TOKEN_OWNER, *PTOKEN_OWNER;

// Group attributes in TOKEN_GROUPS.
constexpr DWORD SE_GROUP_MANDATORY = 0x00000001;
constexpr DWORD SE_GROUP_ENABLED_BY_DEFAULT = 0x00000002;
constexpr DWORD SE_GROUP_ENABLED = 0x00000004;
constexpr DWORD SE_GROUP_OWNER = 0x00000008;
constexpr DWORD SE_GROUP_USE_FOR_DENY_ONLY = 0x00000010;
constexpr DWORD SE_GROUP_RESOURCE = 0x20000000;
constexpr DWORD SE_GROUP_LOGON_ID = 0xC0000000;

constexpr DWORD TOKEN_ALL_ACCESS = 0x000F01FF;

typedef enum _SECURITY_IMPERSONATION_LEVEL : int {
    SecurityAnonymous,
    SecurityIdentification,
    SecurityImpersonation,
    SecurityDelegation,
} SECURITY_IMPERSONATION_LEVEL;

// The user, groups (TOKEN_GROUPS), privileges, owner, primary group, type,
// impersonation level and statistics; other classes fail with
// ERROR_INVALID_PARAMETER.  Needs TOKEN_QUERY.  Too small a buffer fails with
// ERROR_INSUFFICIENT_BUFFER and the size needed in *return_length.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, LPVOID information,
                         DWORD length, LPDWORD return_length);
BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
// The calling thread's impersonation token (`thread` is GetCurrentThread());
// ERROR_NO_TOKEN when the thread is not impersonating, ERROR_CANT_OPEN_ANONYMOUS
// for an anonymous one.  `open_as_self` is accepted: every check is the caller's.
BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL open_as_self, PHANDLE token);
// A new token with the same facts; needs TOKEN_DUPLICATE on `token`.  Access 0
// is the access of `token`'s handle.  An impersonation token cannot be raised
// above its own level, and a primary token needs SecurityImpersonation or more.
BOOL DuplicateTokenEx(HANDLE token, DWORD access, LPSECURITY_ATTRIBUTES attributes,
                      SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type, PHANDLE new_token);
// The calling thread (`thread` null or GetCurrentThread()) impersonates
// `token`, an impersonation token opened with TOKEN_IMPERSONATE; a null token
// ends the impersonation.  Other threads fail with ERROR_INVALID_HANDLE.
BOOL SetThreadToken(PHANDLE thread, HANDLE token);
// The calling thread impersonates `token`, primary (TOKEN_QUERY and
// TOKEN_DUPLICATE) or impersonation (TOKEN_QUERY and TOKEN_IMPERSONATE).
BOOL ImpersonateLoggedOnUser(HANDLE token);
// Ends the calling thread's impersonation, if any.
BOOL RevertToSelf();

// ---- event log -------------------------------------------------------------------
constexpr WORD EVENTLOG_SUCCESS = 0x0000;
constexpr WORD EVENTLOG_ERROR_TYPE = 0x0001;
constexpr WORD EVENTLOG_WARNING_TYPE = 0x0002;
constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x0004;
constexpr WORD EVENTLOG_AUDIT_SUCCESS = 0x0008;
constexpr WORD EVENTLOG_AUDIT_FAILURE = 0x0010;

HANDLE OpenEventLogA(LPCSTR server, LPCSTR source);
BOOL ReportEventA(HANDLE log, WORD type, WORD category, DWORD event_id, PSID user, WORD string_count,
                  DWORD data_size, LPCSTR *strings, LPVOID data);
BOOL CloseEventLog(HANDLE log);

}  // extern "C"

extern "C" {
// A SID from its text; freed with LocalFree.
BOOL ConvertStringSidToSidA(LPCSTR text, PSID *sid);
}

// ---- security descriptors, access lists and privileges ---------------------------
extern "C" {

typedef struct _ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
} ACL, *PACL;

typedef struct _ACE_HEADER {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
} ACE_HEADER;

typedef struct _ACCESS_ALLOWED_ACE {
    ACE_HEADER Header;
    ACCESS_MASK Mask;
    DWORD SidStart;
} ACCESS_ALLOWED_ACE;

constexpr DWORD ACL_REVISION = 2;
constexpr DWORD ACL_REVISION_DS = 4;
constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE ACCESS_DENIED_ACE_TYPE = 1;

typedef WORD SECURITY_DESCRIPTOR_CONTROL;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_OWNER_DEFAULTED = 0x0001;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_GROUP_DEFAULTED = 0x0002;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PRESENT = 0x0004;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_DEFAULTED = 0x0008;

typedef struct _SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
} SECURITY_DESCRIPTOR, *PSECURITY_DESCRIPTOR;

constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr DWORD SECURITY_DESCRIPTOR_MIN_LENGTH = sizeof(SECURITY_DESCRIPTOR);

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted);
BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL defaulted);
// The primary group; a group of this machine becomes the group of the files
// and named objects made with the descriptor.  The SID is not copied.
BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID group, BOOL defaulted);
BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision);
BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD access, PSID sid);
BOOL AddAccessDeniedAce(PACL acl, DWORD revision, DWORD access, PSID sid);
BOOL GetAce(PACL acl, DWORD index, LPVOID *ace);
// Whether the header and every entry lie within the list, each allowed or
// denied entry holding a whole SID; ERROR_INVALID_ACL otherwise.
BOOL IsValidAcl(PACL acl);
// Revision 1, valid owner and group SIDs, a valid access list if present.
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor);

typedef struct _LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES;

typedef struct _TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES, *PTOKEN_PRIVILEGES;

constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x00000001;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
constexpr DWORD SE_PRIVILEGE_REMOVED = 0x00000004;
constexpr DWORD SE_PRIVILEGE_USED_FOR_ACCESS = 0x80000000;

// Enables or disables privileges the token holds (SE_PRIVILEGE_REMOVED drops
// one); the entries whose state changed, as they were, in previous_state.
// Needs TOKEN_ADJUST_PRIVILEGES (and TOKEN_QUERY for previous_state).  TRUE
// with last error ERROR_NOT_ALL_ASSIGNED when some privilege is not held;
// ERROR_INSUFFICIENT_BUFFER (nothing changed) when previous_state is too small.
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state, DWORD buffer_length,
                           PTOKEN_PRIVILEGES previous_state, LPDWORD return_length);

constexpr DWORD PRIVILEGE_SET_ALL_NECESSARY = 1;
typedef struct _PRIVILEGE_SET {
    DWORD PrivilegeCount;
    DWORD Control;
    LUID_AND_ATTRIBUTES Privilege[1];
} PRIVILEGE_SET, *PPRIVILEGE_SET;

// Whether the privileges are enabled in an impersonation token (a primary
// token fails with ERROR_NO_IMPERSONATION_TOKEN); marks the enabled ones
// SE_PRIVILEGE_USED_FOR_ACCESS.  Needs TOKEN_QUERY.
BOOL PrivilegeCheck(HANDLE token, PPRIVILEGE_SET required, LPBOOL result);

// TokenPrimaryGroup only: the group must be the token's user or one of its
// groups (ERROR_INVALID_PRIMARY_GROUP otherwise).  Needs TOKEN_ADJUST_DEFAULT.
BOOL SetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, LPVOID information, DWORD length);

typedef struct _TOKEN_STATISTICS {
    LUID TokenId;
    LUID AuthenticationId;
    LONGLONG ExpirationTime;
    TOKEN_TYPE TokenType;
    SECURITY_IMPERSONATION_LEVEL ImpersonationLevel;
    DWORD DynamicCharged;
    DWORD DynamicAvailable;
    DWORD GroupCount;
    DWORD PrivilegeCount;
    LUID ModifiedId;
} TOKEN_STATISTICS, *PTOKEN_STATISTICS;

constexpr DWORD SYSTEM_LUID = 0x3E7;
constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 544;

BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid);
// The name of a privilege; ERROR_INSUFFICIENT_BUFFER with the length needed
// (terminator excluded) in *length when it does not fit.
BOOL LookupPrivilegeNameA(LPCSTR system, PLUID luid, LPSTR name, LPDWORD length);

constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD process_id);

}  // extern "C"

// ---- accounts: names and SIDs of users, groups and domains --------------------------
extern "C" {

constexpr ACCESS_MASK DELETE = 0x00010000;
constexpr ACCESS_MASK WRITE_DAC = 0x00040000;
constexpr ACCESS_MASK WRITE_OWNER = 0x00080000;
constexpr ACCESS_MASK MAXIMUM_ALLOWED = 0x02000000;
constexpr ACCESS_MASK GENERIC_EXECUTE = 0x20000000;

typedef enum _SID_NAME_USE {
    SidTypeUser = 1,
    SidTypeGroup,
    SidTypeDomain,
    SidTypeAlias,
    SidTypeWellKnownGroup,
    SidTypeDeletedAccount,
    SidTypeInvalid,
    SidTypeUnknown,
    SidTypeComputer,
    SidTypeLabel,
} SID_NAME_USE, *PSID_NAME_USE;

// `system`: null, empty or this computer's name (with or without leading
// backslashes) asks this machine; a controller's name asks it for its domain;
// any other name fails with RPC_S_SERVER_UNAVAILABLE.  Too small a buffer
// fails with ERROR_INSUFFICIENT_BUFFER and stores the sizes needed (the
// domain's in characters with its terminator); an unknown name or SID fails
// with ERROR_NONE_MAPPED.
BOOL LookupAccountNameA(LPCSTR system, LPCSTR name, PSID sid, LPDWORD sid_size, LPSTR domain,
                        LPDWORD domain_size, PSID_NAME_USE use);
BOOL LookupAccountNameW(LPCWSTR system, LPCWSTR name, PSID sid, LPDWORD sid_size, LPWSTR domain,
                        LPDWORD domain_size, PSID_NAME_USE use);
BOOL LookupAccountSidA(LPCSTR system, PSID sid, LPSTR name, LPDWORD name_size, LPSTR domain,
                       LPDWORD domain_size, PSID_NAME_USE use);
BOOL LookupAccountSidW(LPCWSTR system, PSID sid, LPWSTR name, LPDWORD name_size, LPWSTR domain,
                       LPDWORD domain_size, PSID_NAME_USE use);

}  // extern "C"

namespace quarn::win32 {
// A primary token for the user `name` ("DOMAIN\name" or a bare name) of the
// machine's directory, as an interactive logon gives it, so that tests and
// the tool can impersonate accounts.  No password is asked: an emulated
// token guards nothing real.  ERROR_LOGON_FAILURE for a name that is no user.
BOOL logon_account(LPCSTR name, PHANDLE token);
}  // namespace quarn::win32
