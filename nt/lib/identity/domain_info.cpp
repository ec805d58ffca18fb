// The facts this machine's LSA gives about its domains: the primary domain
// (class 3) and the account domain (class 5), each kept once it was read; the
// builtin domain SID; and the RID shift that the LargeRIDs setting selects.
#include <atomic>

#include "identity/domains.h"
#include "frame/frame.h"
#include "ntregy.h"
#include "frame/trace.h"

namespace {

constexpr int kLargeRidsSetting = 41;
constexpr int kLargeRidShift = 4;

// One class of the local LSA's policy information, or null after a trace line.
PVOID query_local_policy(POLICY_INFORMATION_CLASS information_class) {
    LSA_OBJECT_ATTRIBUTES attributes{};
    LSA_HANDLE policy = nullptr;
    NTSTATUS status = LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, &policy);
    if (status != STATUS_SUCCESS) {
        NTX_TRACE_FAILURE("LsaOpenPolicy", kSourceNtutilx, status);
        return nullptr;
    }
    PVOID buffer = nullptr;
    status = LsaQueryInformationPolicy(policy, information_class, &buffer);
    if (status != STATUS_SUCCESS) {
        NTX_TRACE_FAILURE("LsaQueryInformationPolicy", kSourceNtutilx, status);
        buffer = nullptr;
    }
    LsaClose(policy);
    return buffer;
}

// The LSA answer kept in `slot`, read under the library lock until it is had.
template <typename Info>
const Info *policy_information(std::atomic<Info *> &slot, POLICY_INFORMATION_CLASS information_class) {
    if (Info *known = slot.load(std::memory_order_acquire)) return known;
    NtLibraryLock lock;
    if (!slot.load(std::memory_order_relaxed))
        slot.store(static_cast<Info *>(query_local_policy(information_class)), std::memory_order_release);
    return slot.load(std::memory_order_relaxed);
}

std::atomic<POLICY_PRIMARY_DOMAIN_INFO *> primary_info{nullptr};
std::atomic<POLICY_ACCOUNT_DOMAIN_INFO *> account_info{nullptr};

}  // namespace

const POLICY_PRIMARY_DOMAIN_INFO *ntx_primary_domain_info() {
    return policy_information(primary_info, PolicyPrimaryDomainInformation);
}

const POLICY_ACCOUNT_DOMAIN_INFO *ntx_account_domain_info() {
    return policy_information(account_info, PolicyAccountDomainInformation);
}

int ntx_large_rid_shift() {
    static std::atomic<int> shift{-1};
    int known = shift.load(std::memory_order_acquire);
    if (known >= 0) return known;
    NtLibraryLock lock;
    if (shift.load(std::memory_order_relaxed) < 0) {
        DWORD large = 0;
        bool on = ntregy_get_param(kLargeRidsSetting, sizeof large, &large, nullptr) == ERROR_SUCCESS && large != 0;
        shift.store(on ? kLargeRidShift : 0, std::memory_order_release);
    }
    return shift.load(std::memory_order_relaxed);
}

PSID ntx_builtin_domain_sid() {
    static std::atomic<bool> made{false};
    static PSID sid = nullptr;
    if (made.load(std::memory_order_acquire)) return sid;
    NtLibraryLock lock;
    if (!made.load(std::memory_order_relaxed)) {
        SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
        if (!AllocateAndInitializeSid(&nt, 1, SECURITY_BUILTIN_DOMAIN_RID, 0, 0, 0, 0, 0, 0, 0, &sid)) {
            NTX_TRACE_FAILURE("AllocateAndInitializeSid", kSourceNtutilx, GetLastError());
            sid = nullptr;
        }
        made.store(true, std::memory_order_release);
    }
    return sid;
}

int ntx_is_domain_member() {
    // Decided from the LSA's own answer: the cached domain SIDs are looked
    // up in the trusted-domain tables, whose filling asks this very question.
    static std::atomic<int> member{-1};
    int known = member.load(std::memory_order_acquire);
    if (known >= 0) return known;
    const POLICY_PRIMARY_DOMAIN_INFO *info = ntx_primary_domain_info();
    if (!info) return 0;
    member.store(info->Sid ? 1 : 0, std::memory_order_release);
    return info->Sid ? 1 : 0;
}
