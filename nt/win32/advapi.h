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

typedef struct _TOKEN_USER {
    SID_AND_ATTRIBUTES User;
} TOKEN_USER, *PTOKEN_USER;

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL open_as_self, PHANDLE token);
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, LPVOID information,
                         DWORD length, LPDWORD return_length);

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
