// The local security authority (LSA) of this machine and of the machines in
// machine.toml: policy handles, domain information, trusted domains, name
// translation and account rights.  Results are NTSTATUS values; buffers that
// the calls return are freed with LsaFreeMemory.
// Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include "advapi.h"

extern "C" {

typedef PVOID LSA_HANDLE, *PLSA_HANDLE;
typedef ULONG LSA_ENUMERATION_HANDLE, *PLSA_ENUMERATION_HANDLE;
typedef ULONG *PULONG;

typedef struct _LSA_UNICODE_STRING {
    USHORT Length;         // in bytes, without a terminator
    USHORT MaximumLength;  // in bytes
    LPWSTR Buffer;
} LSA_UNICODE_STRING, *PLSA_UNICODE_STRING;

typedef struct _LSA_OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PLSA_UNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
} LSA_OBJECT_ATTRIBUTES, *PLSA_OBJECT_ATTRIBUTES;

constexpr ACCESS_MASK POLICY_VIEW_LOCAL_INFORMATION = 0x00000001;
constexpr ACCESS_MASK POLICY_VIEW_AUDIT_INFORMATION = 0x00000002;
constexpr ACCESS_MASK POLICY_GET_PRIVATE_INFORMATION = 0x00000004;
constexpr ACCESS_MASK POLICY_TRUST_ADMIN = 0x00000008;
constexpr ACCESS_MASK POLICY_CREATE_ACCOUNT = 0x00000010;
constexpr ACCESS_MASK POLICY_CREATE_SECRET = 0x00000020;
constexpr ACCESS_MASK POLICY_CREATE_PRIVILEGE = 0x00000040;
constexpr ACCESS_MASK POLICY_SET_DEFAULT_QUOTA_LIMITS = 0x00000080;
constexpr ACCESS_MASK POLICY_SET_AUDIT_REQUIREMENTS = 0x00000100;
constexpr ACCESS_MASK POLICY_AUDIT_LOG_ADMIN = 0x00000200;
constexpr ACCESS_MASK POLICY_SERVER_ADMIN = 0x00000400;
constexpr ACCESS_MASK POLICY_LOOKUP_NAMES = 0x00000800;
constexpr ACCESS_MASK POLICY_NOTIFICATION = 0x00001000;
constexpr ACCESS_MASK POLICY_ALL_ACCESS = 0x000F0FFF;
constexpr ACCESS_MASK POLICY_READ = 0x00020006;
constexpr ACCESS_MASK POLICY_WRITE = 0x000207F8;
constexpr ACCESS_MASK POLICY_EXECUTE = 0x00020801;

typedef enum _POLICY_INFORMATION_CLASS {
    PolicyAuditLogInformation = 1,
    PolicyAuditEventsInformation,
    PolicyPrimaryDomainInformation,
    PolicyPdAccountInformation,
    PolicyAccountDomainInformation,
    PolicyLsaServerRoleInformation,
    PolicyReplicaSourceInformation,
    PolicyDefaultQuotaInformation,
    PolicyModificationInformation,
    PolicyAuditFullSetInformation,
    PolicyAuditFullQueryInformation,
    PolicyDnsDomainInformation,
} POLICY_INFORMATION_CLASS;

typedef struct _POLICY_PRIMARY_DOMAIN_INFO {
    LSA_UNICODE_STRING Name;
    PSID Sid;  // null for a workgroup
} POLICY_PRIMARY_DOMAIN_INFO, *PPOLICY_PRIMARY_DOMAIN_INFO;

typedef struct _POLICY_ACCOUNT_DOMAIN_INFO {
    LSA_UNICODE_STRING DomainName;
    PSID DomainSid;
} POLICY_ACCOUNT_DOMAIN_INFO, *PPOLICY_ACCOUNT_DOMAIN_INFO;

typedef struct _LSA_TRUST_INFORMATION {
    LSA_UNICODE_STRING Name;
    PSID Sid;
} LSA_TRUST_INFORMATION, *PLSA_TRUST_INFORMATION;

typedef enum _TRUSTED_INFORMATION_CLASS {
    TrustedDomainNameInformation = 1,
    TrustedControllersInformation,
    TrustedPosixOffsetInformation,
    TrustedPasswordInformation,
} TRUSTED_INFORMATION_CLASS;

typedef struct _TRUSTED_POSIX_OFFSET_INFO {
    ULONG Offset;
} TRUSTED_POSIX_OFFSET_INFO, *PTRUSTED_POSIX_OFFSET_INFO;

typedef struct _LSA_REFERENCED_DOMAIN_LIST {
    ULONG Entries;
    PLSA_TRUST_INFORMATION Domains;
} LSA_REFERENCED_DOMAIN_LIST, *PLSA_REFERENCED_DOMAIN_LIST;

typedef struct _LSA_TRANSLATED_SID {
    SID_NAME_USE Use;
    ULONG RelativeId;  // 0xFFFFFFFF for a domain; 0 for a name not found
    LONG DomainIndex;  // into the referenced domains, -1 for a name not found
} LSA_TRANSLATED_SID, *PLSA_TRANSLATED_SID;

// System name null or empty: this machine; else a machine of machine.toml
// (STATUS_RPC_NT_SERVER_UNAVAILABLE for others or one that does not answer).
// Rights beyond POLICY_VIEW_LOCAL_INFORMATION, POLICY_LOOKUP_NAMES and
// READ_CONTROL are for root only (STATUS_ACCESS_DENIED).
NTSTATUS LsaOpenPolicy(PLSA_UNICODE_STRING system, PLSA_OBJECT_ATTRIBUTES attributes, ACCESS_MASK access,
                       PLSA_HANDLE policy);
// Classes PolicyPrimaryDomainInformation and PolicyAccountDomainInformation.
NTSTATUS LsaQueryInformationPolicy(LSA_HANDLE policy, POLICY_INFORMATION_CLASS information_class, PVOID *buffer);
// LSA_TRUST_INFORMATION entries from *context on, about `preferred` bytes of
// them but at least one: STATUS_MORE_ENTRIES while more remain, STATUS_SUCCESS
// for the last part, STATUS_NO_MORE_ENTRIES (no buffer) once all were returned.
NTSTATUS LsaEnumerateTrustedDomains(LSA_HANDLE policy, PLSA_ENUMERATION_HANDLE context, PVOID *buffer,
                                    ULONG preferred, PULONG count);
// Class TrustedPosixOffsetInformation; STATUS_NOT_FOUND for a trust without
// an offset, STATUS_OBJECT_NAME_NOT_FOUND for a domain that is not trusted.
NTSTATUS LsaQueryTrustedDomainInfo(LSA_HANDLE policy, PSID domain, TRUSTED_INFORMATION_CLASS information_class,
                                   PVOID *buffer);
// STATUS_SUCCESS, STATUS_SOME_NOT_MAPPED or STATUS_NONE_MAPPED; both lists
// are returned in every case.
NTSTATUS LsaLookupNames(LSA_HANDLE policy, ULONG count, PLSA_UNICODE_STRING names,
                        PLSA_REFERENCED_DOMAIN_LIST *domains, PLSA_TRANSLATED_SID *sids);
// Needs POLICY_LOOKUP_NAMES and POLICY_CREATE_ACCOUNT.  The rights are kept
// in <prefix>/lsa/rights.toml (another machine's in
// <prefix>/machines/NAME/lsa/rights.toml).
NTSTATUS LsaAddAccountRights(LSA_HANDLE policy, PSID account, PLSA_UNICODE_STRING rights, ULONG count);
NTSTATUS LsaFreeMemory(PVOID buffer);
NTSTATUS LsaClose(LSA_HANDLE policy);
// The Win32 error of an NT status; ERROR_MR_MID_NOT_FOUND for one without.
ULONG LsaNtStatusToWinError(NTSTATUS status);

}  // extern "C"
