// The SIDs and names of the primary and account domains: as the
// trusted-domain tables hold them (under 0x100000 and 0x30000), else as this
// machine's LSA says.  A primary domain SID that cannot be had is asked for
// again; an account domain SID is asked for once.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "identity/domains.h"
#include "frame/frame.h"
#include "winnls.h"

namespace {

// A domain SID kept in a 68-byte copy once found.
struct KeptSid {
    std::atomic<int> state{0};  // 0 not found yet, 1 found, 2 given up
    BYTE copy[NTX_SID_SIZE] = {};
    PSID sid = nullptr;  // the copy, or the LSA's own for a SID too long to copy
};

template <typename Info>
PSID lsa_sid_of(const Info *info);
template <>
PSID lsa_sid_of(const POLICY_PRIMARY_DOMAIN_INFO *info) {
    return info ? info->Sid : nullptr;
}
template <>
PSID lsa_sid_of(const POLICY_ACCOUNT_DOMAIN_INFO *info) {
    return info ? info->DomainSid : nullptr;
}

template <typename Info>
PSID kept_domain_sid(KeptSid &kept, DWORD offset, const Info *(*lsa)(), bool give_up_on_failure) {
    int state = kept.state.load(std::memory_order_acquire);
    if (state) return kept.sid;
    NtLibraryLock lock;
    if (kept.state.load(std::memory_order_relaxed)) return kept.sid;
    PSID found = ntx_tpo_to_sid(offset << ntx_large_rid_shift(), nullptr);
    if (!found) found = lsa_sid_of(lsa());
    if (found && GetLengthSid(found) <= sizeof kept.copy) {
        CopySid(sizeof kept.copy, kept.copy, found);
        kept.sid = kept.copy;
    } else {
        kept.sid = found;  // too long to copy: the LSA's record, which stays
    }
    if (kept.sid || give_up_on_failure) kept.state.store(kept.sid ? 1 : 2, std::memory_order_release);
    return kept.sid;
}

KeptSid primary_sid, account_sid;

// The name kept under `offset` in "Tpo->Sid", or null.
const char *table_name(DWORD offset) {
    ntx_tpo_sid_value *value = nullptr;
    return ntx_tpo_to_sid(offset << ntx_large_rid_shift(), &value) ? value->name : nullptr;
}

int narrow_name(DWORD offset, const LSA_UNICODE_STRING *lsa, char *buffer, int length) {
    if (!buffer || length <= 0) return 0;
    std::memset(buffer, 0, length);
    if (const char *name = table_name(offset)) {
        std::strncpy(buffer, name, length);
        buffer[length - 1] = 0;
        return 1;
    }
    if (!lsa || lsa->Length / 2 >= length) return 0;
    int bytes = WideCharToMultiByte(CP_ACP, 0, lsa->Buffer, lsa->Length / 2, buffer, length - 1, nullptr, nullptr);
    if (bytes <= 0 && lsa->Length) {
        buffer[0] = 0;
        return 0;
    }
    return 1;
}

}  // namespace

PSID ntx_primary_domain_sid() { return kept_domain_sid(primary_sid, NTX_PRIMARY_OFFSET, ntx_primary_domain_info, false); }

PSID ntx_account_domain_sid() { return kept_domain_sid(account_sid, NTX_ACCOUNT_OFFSET, ntx_account_domain_info, true); }

int ntx_is_account_domain_sid(PSID sid) {
    PSID account = ntx_account_domain_sid();
    return sid && account && IsValidSid(sid) && EqualSid(sid, account) ? 1 : 0;
}

int ntx_primary_domain_name_w(WCHAR *buffer, int length) {
    if (!buffer || length <= 0) return 0;
    std::memset(buffer, 0, sizeof(WCHAR) * length);
    if (const char *name = table_name(NTX_PRIMARY_OFFSET)) {
        if (MultiByteToWideChar(CP_ACP, 0, name, -1, buffer, length) > 0) return 1;
        buffer[length - 1] = 0;  // cut to the buffer, as mbstowcs would
        return MultiByteToWideChar(CP_ACP, 0, name, length - 1, buffer, length - 1) > 0;
    }
    const POLICY_PRIMARY_DOMAIN_INFO *info = ntx_primary_domain_info();
    if (!info || info->Name.Length / 2 >= length) return 0;
    std::memcpy(buffer, info->Name.Buffer, info->Name.Length);
    return 1;
}

extern "C" NT_API int ntx_what_domain(char *buffer, int length) {
    const POLICY_PRIMARY_DOMAIN_INFO *info = ntx_primary_domain_info();
    return narrow_name(NTX_PRIMARY_OFFSET, info ? &info->Name : nullptr, buffer, length);
}

int ntx_account_domain_name(char *buffer, int length) {
    const POLICY_ACCOUNT_DOMAIN_INFO *info = ntx_account_domain_info();
    return narrow_name(NTX_ACCOUNT_OFFSET, info ? &info->DomainName : nullptr, buffer, length);
}

const char *ntx_domain_name_of_sid(PSID sid) {
    PSID domain = nullptr;
    if (ntx_get_sid_domain(sid, &domain) != 0) return nullptr;
    ntx_sid_tpo_value *value = nullptr;
    DWORD offset = ntx_sid_to_tpo(domain, &value);
    std::free(domain);
    return offset ? value->name : nullptr;
}
