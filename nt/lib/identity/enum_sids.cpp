// nt_get_enum_sid: the numbered well-known SIDs that privilege checks and
// security descriptors name.  Constant ones live in static storage; the
// others are made from the domain SIDs on first use and kept, the
// logon-session SID (14) only until the identity flush; the product group
// (1) comes from product_group.cpp.
#include <atomic>
#include <cstdlib>

#include "identity/current_token.h"
#include "identity/domains.h"
#include "identity/product_group.h"
#include "frame/frame.h"
#include "nt.h"
#include "frame/trace.h"

namespace {

struct ConstantSid {
    BYTE revision, count;
    BYTE authority[6];
    DWORD sub_authority;
};

constexpr ConstantSid constant(BYTE authority, DWORD sub_authority) {
    return {SID_REVISION, 1, {0, 0, 0, 0, 0, authority}, sub_authority};
}

// Indexed by number; a zero revision marks a SID that is built.
ConstantSid constants[NT_ENUM_SID_COUNT] = {
    constant(1, 0),  {},               constant(3, 0),  constant(3, 1),  {},
    constant(5, 18), constant(5, 2),   constant(5, 3),  constant(5, 4),  constant(5, 6),
    constant(5, 11), constant(2, 0),   {},              {},              {},
    {},              {},               {},              constant(5, 1),  constant(5, 7),
    constant(5, 8),  constant(5, 9),   constant(5, 10), constant(5, 12), constant(5, 13),
    {},              constant(0, 0),
};

constexpr DWORD kAdministratorsRid = 544, kPowerUsersRid = 547, kAdministratorRid = 500, kDomainAdminsRid = 512;

// A domain SID with a RID appended, made once; nothing is kept while the domain is unknown.
struct BuiltSid {
    std::atomic<PSID> sid{nullptr};
    PSID (*domain)();
    DWORD rid;
};
BuiltSid built[] = {
    {nullptr, ntx_builtin_domain_sid, kAdministratorsRid},
    {nullptr, ntx_builtin_domain_sid, kPowerUsersRid},
    {nullptr, ntx_account_domain_sid, kAdministratorRid},
    {nullptr, ntx_primary_domain_sid, kDomainAdminsRid},
};

PSID built_sid(BuiltSid &b) {
    if (PSID known = b.sid.load(std::memory_order_acquire)) return known;
    NtLibraryLock lock;
    if (!b.sid.load(std::memory_order_relaxed)) {
        PSID domain = b.domain();
        if (domain) b.sid.store(nt_sid_append_rid(domain, b.rid), std::memory_order_release);
    }
    return b.sid.load(std::memory_order_relaxed);
}

// The logon-session SID of the current token: searched once until the flush.
std::atomic<bool> logon_searched{false};
PSID logon_sid = nullptr;

PSID logon_session_sid() {
    if (logon_searched.load(std::memory_order_acquire)) return logon_sid;
    NtLibraryLock lock;
    if (logon_searched.load(std::memory_order_relaxed)) return logon_sid;
    const TOKEN_GROUPS *groups = nt_current_token_groups();
    for (DWORD i = 0; groups && i < groups->GroupCount; ++i) {
        if ((groups->Groups[i].Attributes & SE_GROUP_LOGON_ID) != SE_GROUP_LOGON_ID) continue;
        DWORD length = GetLengthSid(groups->Groups[i].Sid);
        PSID copy = std::malloc(length);
        if (!copy) return nullptr;  // searched again next time
        if (!CopySid(length, copy, groups->Groups[i].Sid)) {
            NT_TRACE_FAILURE("CopySid", GetLastError());
            std::free(copy);
            return nullptr;
        }
        logon_sid = copy;
        break;
    }
    logon_searched.store(true, std::memory_order_release);
    return logon_sid;
}

}  // namespace

void ntx_forget_logon_session_sid() {
    NtLibraryLock lock;
    std::free(logon_sid);
    logon_sid = nullptr;
    logon_searched.store(false, std::memory_order_release);
}

extern "C" NT_API PSID nt_get_enum_sid(int number) {
    if (number < 0 || number >= NT_ENUM_SID_COUNT) return nullptr;
    if (constants[number].revision) return &constants[number];
    switch (number) {
    case NT_ENUM_SID_ADMINISTRATORS:
        return built_sid(built[0]);
    case NT_ENUM_SID_POWER_USERS:
        return built_sid(built[1]);
    case NT_ENUM_SID_LOCAL_ADMINISTRATOR:
        return built_sid(built[2]);
    case NT_ENUM_SID_DOMAIN_ADMINS:
        return built_sid(built[3]);
    case NT_ENUM_SID_LOGON_SESSION:
        return logon_session_sid();
    case NT_ENUM_SID_ACCOUNT_DOMAIN:
        return ntx_account_domain_sid();
    case NT_ENUM_SID_BUILTIN_DOMAIN:
        return ntx_builtin_domain_sid();
    case NT_ENUM_SID_PRIMARY_DOMAIN:
        return ntx_primary_domain_sid();
    case NT_ENUM_SID_ZENDREL_GROUP:
        return nt_get_zendrel_group_sid();
    default:
        return nullptr;
    }
}
