// ntx_grant_logon_svc: the right to log on as a service for an account, in
// the LSA of a machine.
#include <cstdlib>

#include "identity/domains.h"
#include "nt.h"

namespace {
constexpr char16_t kServiceLogonRight[] = u"SeServiceLogonRight";
}

extern "C" NT_API DWORD ntx_grant_logon_svc(const char *machine, const char *account) {
    LSA_UNICODE_STRING system{}, name{};
    if (!ntx_CreateLsaUnicodeStringFromAsciiz(&system, machine)) return ERROR_NOT_ENOUGH_MEMORY;
    LSA_OBJECT_ATTRIBUTES attributes{};
    LSA_HANDLE policy = nullptr;
    NTSTATUS status = LsaOpenPolicy(&system, &attributes, POLICY_ALL_ACCESS, &policy);
    std::free(system.Buffer);
    if (status != STATUS_SUCCESS) return LsaNtStatusToWinError(status);
    PLSA_REFERENCED_DOMAIN_LIST domains = nullptr;
    PLSA_TRANSLATED_SID sids = nullptr;
    PSID sid = nullptr;
    if (!ntx_CreateLsaUnicodeStringFromAsciiz(&name, account)) {
        status = STATUS_NO_MEMORY;
    } else {
        status = LsaLookupNames(policy, 1, &name, &domains, &sids);
        std::free(name.Buffer);
    }
    if (status == STATUS_SUCCESS) {
        LONG index = sids[0].DomainIndex;
        if (index < 0 || static_cast<ULONG>(index) >= domains->Entries) status = STATUS_NONE_MAPPED;
        else if (!(sid = nt_sid_append_rid(domains->Domains[index].Sid, sids[0].RelativeId))) status = STATUS_NO_MEMORY;
    }
    if (domains) LsaFreeMemory(domains);
    if (sids) LsaFreeMemory(sids);
    if (status == STATUS_SUCCESS) {
        LSA_UNICODE_STRING right{sizeof kServiceLogonRight - 2, sizeof kServiceLogonRight,
                                 const_cast<LPWSTR>(kServiceLogonRight)};
        status = LsaAddAccountRights(policy, sid, &right, 1);
    }
    std::free(sid);
    LsaClose(policy);
    return LsaNtStatusToWinError(status);
}
