// Who is privileged for the product: a token with the product group, or with
// the built-in Administrators while AdminsArePrivileged is on, among its
// enabled groups; the same test over a SID and groups given by a caller; and
// whether Administrators is an enabled group.  The token answers are kept
// for the process until the identity flush.
#include <atomic>

#include "frame/frame.h"
#include "identity/current_token.h"
#include "identity/identity.h"
#include "identity/product_group.h"
#include "nt.h"
#include "ntregy.h"

namespace {

enum Privileged { kUnknown = 0, kPrivileged = 1, kNotPrivileged = 2 };
std::atomic<int> privileged{kUnknown};
std::atomic<int> administrators{-1};  // -1 unknown, 1 yes, 0 no

bool enabled_group(const TOKEN_GROUPS *groups, PSID sid) {
    for (DWORD i = 0; sid && i < groups->GroupCount; ++i)
        if ((groups->Groups[i].Attributes & SE_GROUP_ENABLED) && EqualSid(groups->Groups[i].Sid, sid)) return true;
    return false;
}

// Whether one SID of a caller's credentials confers privilege.
bool confers(PSID sid, PSID product_group, PSID admins) {
    if (!sid || !IsValidSid(sid)) return false;
    if (product_group && EqualSid(sid, product_group)) return true;
    return admins && EqualSid(sid, admins);
}

int creds_privileged(PSID user_sid, int group_count, PSID *group_sids, PSID product_group) {
    PSID admins = ntregy_admins_are_privileged() ? nt_get_enum_sid(NT_ENUM_SID_ADMINISTRATORS) : nullptr;
    if (confers(user_sid, product_group, admins)) return 1;
    for (int i = 0; group_sids && i < group_count; ++i)
        if (confers(group_sids[i], product_group, admins)) return 1;
    return 0;
}

}  // namespace

void nt_forget_privilege_answers() {
    NtLibraryLock lock;
    privileged.store(kUnknown, std::memory_order_release);
    administrators.store(-1, std::memory_order_release);
}

extern "C" NT_API int nt_is_privileged(void) {
    int known = privileged.load(std::memory_order_acquire);
    if (known != kUnknown) return known == kPrivileged;
    NtLibraryLock lock;
    known = privileged.load(std::memory_order_relaxed);
    if (known != kUnknown) return known == kPrivileged;
    const TOKEN_GROUPS *groups = nt_current_token_groups();
    PSID product_group = nt_get_zendrel_group_sid();
    PSID admins = ntregy_admins_are_privileged() ? nt_get_enum_sid(NT_ENUM_SID_ADMINISTRATORS) : nullptr;
    int answer = kNotPrivileged;
    for (DWORD i = 0; groups && i < groups->GroupCount && answer == kNotPrivileged; ++i) {
        const SID_AND_ATTRIBUTES &g = groups->Groups[i];
        if ((g.Attributes & SE_GROUP_ENABLED) &&
            ((admins && EqualSid(g.Sid, admins)) || (product_group && EqualSid(g.Sid, product_group))))
            answer = kPrivileged;
    }
    privileged.store(answer, std::memory_order_release);
    return answer == kPrivileged;
}

extern "C" NT_API int nt_is_administrators(void) {
    int known = administrators.load(std::memory_order_acquire);
    if (known >= 0) return known;
    NtLibraryLock lock;
    known = administrators.load(std::memory_order_relaxed);
    if (known >= 0) return known;
    const TOKEN_GROUPS *groups = nt_current_token_groups();
    if (!groups) return 0;  // unknown still: asked again next time
    int answer = enabled_group(groups, nt_get_enum_sid(NT_ENUM_SID_ADMINISTRATORS)) ? 1 : 0;
    administrators.store(answer, std::memory_order_release);
    return answer;
}

extern "C" NT_API int nt_is_privileged_sid_creds(void *, PSID user_sid, int group_count, PSID *group_sids) {
    return creds_privileged(user_sid, group_count, group_sids, nt_get_zendrel_group_sid());
}

extern "C" NT_API int nt_is_privileged_sid_creds_check_zngroup_priv(void *, PSID user_sid, int group_count,
                                                                    PSID *group_sids) {
    PSID product_group = ntregy_zngroup_is_privileged() ? nt_get_zendrel_group_sid() : nullptr;
    return creds_privileged(user_sid, group_count, group_sids, product_group);
}
