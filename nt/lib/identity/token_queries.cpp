// Questions about the calling thread's token: the user SID as text, the
// user's domain as SID, text and name, whether the user belongs to a domain,
// and a primary token made from the thread's impersonation token.
#include <cstdlib>
#include <cstring>

#include "identity/domains.h"
#include "identity/identity.h"
#include "nt.h"
#include "frame/trace.h"

extern "C" NT_API int nt_get_sid_str(char *dst, size_t len) {
    PSID user = nullptr;
    if (!nt_get_user_sid(&user)) return -1;
    return nt_sid_to_str(user, dst, len) ? 0 : -1;
}

extern "C" NT_API int nt_get_domain_sid(PSID *domain_out) {
    if (!domain_out) return -1;
    *domain_out = nullptr;
    PSID user = nullptr;
    if (!nt_get_user_sid(&user)) return -1;
    return ntx_get_sid_domain(user, domain_out) == 0 ? 0 : -1;
}

extern "C" NT_API int nt_get_domain_sid_str(char *dst, size_t len) {
    PSID domain = nullptr;
    if (nt_get_domain_sid(&domain) != 0) return -1;
    int result = nt_sid_to_str(domain, dst, len) ? 0 : -1;
    std::free(domain);
    return result;
}

extern "C" NT_API int nt_get_domain_name(char *dst, size_t len) {
    PSID user = nullptr;
    if (!dst || !len || !nt_get_user_sid(&user)) return -1;
    if (const char *name = ntx_domain_name_of_sid(user)) {
        std::strncpy(dst, name, len);
        dst[len - 1] = '\0';
        return 0;
    }
    char account[kAccountNameSize];
    DWORD account_size = kAccountNameSize, domain_size = static_cast<DWORD>(len);
    SID_NAME_USE use;
    return LookupAccountSidA(nullptr, user, account, &account_size, dst, &domain_size, &use) ? 0 : -1;
}

extern "C" NT_API int nt_is_domain_user(void) {
    PSID user = nullptr;
    return nt_get_user_sid(&user) && nt_is_domain_sid(user);
}

extern "C" NT_API int nt_get_impersonation_token(HANDLE *token_out) {
    if (!token_out) return -1;
    *token_out = INVALID_HANDLE_VALUE;
    HANDLE thread_token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, &thread_token)) {
        DWORD error = GetLastError();
        if (error == ERROR_NO_TOKEN) return 0;
        NT_TRACE_FAILURE("OpenThreadToken", error);
        return -1;
    }
    HANDLE primary = nullptr;
    BOOL made = DuplicateTokenEx(thread_token, TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY, nullptr,
                                 SecurityImpersonation, TokenPrimary, &primary);
    if (!made) NT_TRACE_FAILURE("DuplicateTokenEx", GetLastError());
    CloseHandle(thread_token);
    if (!made) return -1;
    *token_out = primary;
    return 0;
}
