// ntx_in_my_domain: whether another machine belongs to this machine's
// primary domain, as that machine's LSA tells.
#include <cstdlib>

#include "identity/domains.h"
#include "identity/ipc_session.h"
#include "frame/trace.h"

namespace {
constexpr ACCESS_MASK kPolicyRead = READ_CONTROL | POLICY_VIEW_LOCAL_INFORMATION;
}

extern "C" NT_API int ntx_in_my_domain(const char *machine, int *reached) {
    int dummy = 0;
    if (!reached) reached = &dummy;
    *reached = 0;
    PSID mine = ntx_primary_domain_sid();
    if (!mine) return 0;
    LSA_UNICODE_STRING system{};
    if (!ntx_CreateLsaUnicodeStringFromAsciiz(&system, machine)) {
        NTX_TRACE_FAILURE("ntx_CreateLsaUnicodeStringFromAsciiz", kSourceNtutilx, STATUS_NO_MEMORY);
        return 0;
    }
    LSA_OBJECT_ATTRIBUTES attributes{};
    LSA_HANDLE policy = nullptr;
    AnonymousIpcSession session;
    NTSTATUS status = LsaOpenPolicy(&system, &attributes, kPolicyRead, &policy);
    ULONG error = LsaNtStatusToWinError(status);
    if (status != STATUS_SUCCESS && machine && *machine &&
        (error == RPC_S_SERVER_UNAVAILABLE || error == ERROR_ACCESS_DENIED) && session.connect(machine))
        status = LsaOpenPolicy(&system, &attributes, kPolicyRead, &policy);
    std::free(system.Buffer);
    if (status != STATUS_SUCCESS) {
        NTX_TRACE_FAILURE_ARG("LsaOpenPolicy", machine ? machine : "", kSourceNtutilx, status);
        return 0;
    }
    PVOID buffer = nullptr;
    status = LsaQueryInformationPolicy(policy, PolicyPrimaryDomainInformation, &buffer);
    int same = 0;
    if (status == STATUS_SUCCESS) {
        *reached = 1;
        PSID theirs = static_cast<POLICY_PRIMARY_DOMAIN_INFO *>(buffer)->Sid;
        same = theirs && EqualSid(theirs, mine) ? 1 : 0;
        LsaFreeMemory(buffer);
    } else {
        NTX_TRACE_FAILURE_ARG("LsaQueryInformationPolicy", machine ? machine : "", kSourceNtutilx, status);
    }
    LsaClose(policy);
    return same;
}
