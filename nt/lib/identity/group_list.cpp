// The calling thread's group list, as Unix programs ask for their
// supplementary groups: the token's groups after domain group mapping,
// without the logon session and without duplicates, the groups that
// ZENDREL_GROUPS names first and in its order, and the effective primary
// group last.  The list is built once per thread until the identity flush;
// the ZENDREL_GROUPS list once per process.
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "frame/trace.h"
#include "identity/current_token.h"
#include "identity/group_lists.h"
#include "identity/identity.h"
#include "nt.h"

namespace {

constexpr char kGroupsVariable[] = "ZENDREL_GROUPS";
constexpr int kMaxPrioritized = 32;
constexpr size_t kNameChars = 321;

nt_prioritized_groups prioritized{};
bool prioritized_built = false;  // under the library lock; set before the build, never retried

bool listed(PSID *list, int count, PSID sid) {
    for (int i = 0; i < count; ++i)
        if (EqualSid(list[i], sid)) return true;
    return false;
}

// A copy of `sid` in the thread's heap, or null after a trace line.
PSID thread_copy(nt_thread_context *context, PSID sid) {
    DWORD length = GetLengthSid(sid);
    PSID copy = nt_thread_alloc(context, length);
    if (!copy) {
        NT_TRACE_FAILURE("malloc", ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!CopySid(length, copy, sid)) {
        NT_TRACE_FAILURE("CopySid", GetLastError());
        nt_thread_free(context, copy);
        return nullptr;
    }
    return copy;
}

// Moves the groups of the prioritized list to the front, in its order.
void put_prioritized_first(PSID *list, int count) {
    const nt_prioritized_groups *order = nt_get_prioritized_groups_list();
    int front = 0;
    for (int p = 0; p < order->count; ++p)
        for (int i = front; i < count; ++i)
            if (EqualSid(list[i], order->sids[p])) {
                PSID moved = list[i];
                list[i] = list[front];
                list[front++] = moved;
                break;
            }
}

void free_list(nt_thread_context *context, PSID *list, int count) {
    for (int i = 0; i < count; ++i) nt_thread_free(context, list[i]);
    nt_thread_free(context, list);
}

// Builds the thread's list; false when it cannot be built.
bool build_list(nt_thread_context *context) {
    PSID primary = nullptr;
    if (!nt_getgroup_sid(&primary)) primary = nullptr;
    const TOKEN_GROUPS *groups = nt_current_token_groups();
    if (!groups) return false;
    size_t room = groups->GroupCount + (primary ? 1 : 0);
    auto *list = static_cast<PSID *>(nt_thread_alloc(context, (room ? room : 1) * sizeof(PSID)));
    if (!list) {
        NT_TRACE_FAILURE("malloc", ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    int count = 0;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (nt_is_sid_logon_id(groups->Groups[i].Sid)) continue;
        PSID mapped = nt_map_domain_group_sid(groups->Groups[i].Sid);
        if ((primary && EqualSid(mapped, primary)) || listed(list, count, mapped)) continue;
        if (!(list[count] = thread_copy(context, mapped))) {
            free_list(context, list, count);
            return false;
        }
        ++count;
    }
    put_prioritized_first(list, count);
    if (primary) {
        if (!(list[count] = thread_copy(context, primary))) {
            free_list(context, list, count);
            return false;
        }
        ++count;
    }
    context->group_list = list;
    context->group_list_count = count;
    return true;
}

// Adds the group `item` names to the prioritized list; false when the list must end.
bool add_prioritized(const char *item, size_t length) {
    char key[kNameChars + 1] = {};
    std::memcpy(key, item, length < kNameChars ? length : kNameChars);
    BYTE sid[kSidSize] = {};
    if (!nt_group_of_env_name(key, sid)) return true;  // names nothing: skipped
    DWORD size = GetLengthSid(sid);
    PSID copy = std::malloc(size);
    if (!copy) {
        NT_TRACE_FAILURE("malloc", ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (!CopySid(size, copy, sid)) {
        NT_TRACE_FAILURE("CopySid", GetLastError());
        std::free(copy);
        return false;
    }
    prioritized.sids[prioritized.count++] = copy;
    return true;
}

void build_prioritized() {
    size_t needed = 0;
    nt_getenv_safe(kGroupsVariable, nullptr, 0, &needed);
    if (needed <= 1) return;
    auto *value = static_cast<char *>(std::malloc(needed));
    if (!value) {
        NT_TRACE_FAILURE("malloc", ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    if (nt_getenv_safe(kGroupsVariable, value, needed, &needed)) {
        const char *item = value;
        while (*item && prioritized.count < kMaxPrioritized) {
            const char *end = std::strchr(item, ';');
            size_t length = end ? static_cast<size_t>(end - item) : std::strlen(item);
            if (length && !add_prioritized(item, length)) break;
            item += length + (end ? 1 : 0);
        }
    }
    std::free(value);
}

}  // namespace

extern "C" NT_API nt_prioritized_groups *nt_get_prioritized_groups_list(void) {
    NtLibraryLock lock;
    if (!prioritized_built) {
        prioritized_built = true;
        build_prioritized();
    }
    return &prioritized;
}

extern "C" NT_API int nt_getgroups_sid(int count, PSID *sids_out) {
    nt_thread_context *context = nt_thread_context_get();
    if (!context || count < 0 || (count > 0 && !sids_out)) return -1;
    if (context->group_list_count < 0 && !build_list(context)) return -1;
    if (count == 0) return context->group_list_count;
    int copied = count < context->group_list_count ? count : context->group_list_count;
    std::memcpy(sids_out, context->group_list, copied * sizeof(PSID));
    return copied;
}
