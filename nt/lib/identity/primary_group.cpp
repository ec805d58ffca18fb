// The primary group: the one ZENDREL_PRIMARY_GROUP names, when the token
// holds it, else the token's own; both after domain group mapping.  The
// group the variable names can also be made the primary group of another
// process's token.  Group names from the environment resolve through the
// private "Account name->Sid" cache.
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "frame/trace.h"
#include "identity/current_token.h"
#include "identity/group_lists.h"
#include "identity/identity.h"
#include "nt.h"

namespace {

constexpr char kPrimaryGroupVariable[] = "ZENDREL_PRIMARY_GROUP";
constexpr size_t kValueChars = 321;

// The token's primary group, read once per thread; null when it cannot be read.
PSID token_primary_group(nt_thread_context *context) {
    if (!context->token_primary_group) {
        HANDLE token = nt_open_current_token(TOKEN_QUERY);
        if (!token) return nullptr;
        void *information = nullptr;
        if (nt_read_token_information(token, TokenPrimaryGroup, &information) == 0)
            context->token_primary_group = information;
        CloseHandle(token);
    }
    auto *block = static_cast<TOKEN_PRIMARY_GROUP *>(context->token_primary_group);
    return block ? block->PrimaryGroup : nullptr;
}

// The token group that is, or maps to, `wanted`; its mapping, or null.
PSID token_group_matching(const TOKEN_GROUPS *groups, PSID wanted) {
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        PSID sid = groups->Groups[i].Sid;
        PSID mapped = nt_map_domain_group_sid(sid);
        if (EqualSid(sid, wanted) || EqualSid(mapped, wanted)) return mapped;
    }
    return nullptr;
}

}  // namespace

bool nt_group_of_env_name(const char *name, BYTE *sid) {
    char key[kQualifiedNameSize] = {};
    std::strncpy(key, name, sizeof key - 1);
    unsigned int size = kSidSize;
    if (nt_private_account_sid_cache && phash_lookup(nt_private_account_sid_cache, key, sid, &size)) return true;
    char domain[kDomainNameSize];
    int use = 0;
    DWORD length = 0;
    if (nt_lookup_account_name_server(nullptr, key, sid, kSidSize, domain, sizeof domain, &use, nullptr) &&
        nt_is_group_use(use)) {
        length = GetLengthSid(sid);
    } else if (std::strncmp(key, "S-", 2) == 0) {
        PSID parsed = nullptr;
        if (nt_str_to_sid(key, &parsed) != 0) return false;
        std::memset(sid, 0, kSidSize);
        bool copied = CopySid(kSidSize, sid, parsed);
        FreeSid(parsed);
        if (copied && nt_getgrsid_sid(sid)) length = kSidSize;
    }
    if (!length) return false;
    if (nt_private_account_sid_cache) phash_enter(nt_private_account_sid_cache, key, sid, length);
    return true;
}

extern "C" NT_API PSID nt_get_primary_group_from_env(void) {
    nt_thread_context *context = nt_thread_context_get();
    if (!context) return nullptr;
    char value[kValueChars + 1];
    size_t needed = 0;
    // A longer value is not cut to a name that might be another group's.
    if (!nt_getenv_safe(kPrimaryGroupVariable, value, sizeof value, &needed) || needed > sizeof value || !value[0])
        return nullptr;
    BYTE *sid = context->environment_primary_group;
    std::memset(sid, 0, kSidSize);
    return nt_group_of_env_name(value, sid) ? sid : nullptr;
}

extern "C" NT_API int nt_getgroup_sid(PSID *sid_out) {
    if (!sid_out) return 0;
    nt_thread_context *context = nt_thread_context_get();
    if (!context) return 0;
    if (context->effective_primary_group) {
        *sid_out = context->effective_primary_group;
        return 1;
    }
    PSID chosen = nullptr;
    if (PSID wanted = nt_get_primary_group_from_env()) {
        const TOKEN_GROUPS *groups = nt_current_token_groups();
        if (!groups) return 0;
        chosen = token_group_matching(groups, wanted);
    }
    if (!chosen) {
        PSID primary = token_primary_group(context);
        if (!primary) return 0;
        chosen = nt_map_domain_group_sid(primary);
    }
    DWORD length = GetLengthSid(chosen);
    PSID copy = nt_thread_alloc(context, length);
    if (!copy) return 0;
    if (!CopySid(length, copy, chosen)) {
        nt_thread_free(context, copy);
        return 0;
    }
    context->effective_primary_group = copy;
    *sid_out = copy;
    return 1;
}

extern "C" NT_API DWORD nt_set_primary_group_from_env(DWORD process_id) {
    PSID wanted = nt_get_primary_group_from_env();
    if (!wanted) return 0;
    HANDLE process = OpenProcess(READ_CONTROL | PROCESS_QUERY_INFORMATION, FALSE, process_id);
    if (!process) {
        DWORD error = GetLastError();
        NT_TRACE_FAILURE("OpenProcess", error);
        return error;
    }
    DWORD result = 0;
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, READ_CONTROL | TOKEN_ADJUST_DEFAULT | TOKEN_QUERY, &token)) {
        result = GetLastError();
        NT_TRACE_FAILURE("OpenProcessToken", result);
    } else {
        void *information = nullptr;
        if (nt_read_token_information(token, TokenPrimaryGroup, &information) == 0) {
            auto *current = static_cast<TOKEN_PRIMARY_GROUP *>(information);
            if (!EqualSid(current->PrimaryGroup, wanted)) {
                TOKEN_PRIMARY_GROUP change{wanted};
                if (!SetTokenInformation(token, TokenPrimaryGroup, &change, sizeof change)) {
                    result = GetLastError();
                    NT_TRACE_FAILURE("SetTokenInformation", result);
                }
            }
            std::free(information);
        }
        CloseHandle(token);
    }
    CloseHandle(process);
    return result;
}
