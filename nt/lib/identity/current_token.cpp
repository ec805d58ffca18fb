// The current token and its groups: the thread's impersonation token when
// it has one, else the process token; opened for each reading and closed.
#include <cstdlib>

#include "identity/current_token.h"
#include "frame/frame.h"
#include "frame/trace.h"

HANDLE nt_open_current_token(DWORD access) {
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), access, TRUE, &token)) return token;
    DWORD error = GetLastError();
    if (error != ERROR_NO_TOKEN) {
        NT_TRACE_FAILURE("OpenThreadToken", error);
        return nullptr;
    }
    if (OpenProcessToken(GetCurrentProcess(), access, &token)) return token;
    NT_TRACE_FAILURE("OpenProcessToken", GetLastError());
    return nullptr;
}

DWORD nt_read_token_information(HANDLE token, TOKEN_INFORMATION_CLASS information_class, void **information) {
    DWORD needed = 0;
    if (!GetTokenInformation(token, information_class, nullptr, 0, &needed)) {
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            NT_TRACE_FAILURE("GetTokenInformation", error);
            return error;
        }
    }
    void *block = std::malloc(needed ? needed : 1);
    if (!block) {
        NT_TRACE_FAILURE("malloc", ERROR_NOT_ENOUGH_MEMORY);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (!GetTokenInformation(token, information_class, block, needed, &needed)) {
        DWORD error = GetLastError();
        NT_TRACE_FAILURE("GetTokenInformation", error);
        std::free(block);
        return error;
    }
    *information = block;
    return 0;
}

const TOKEN_GROUPS *nt_current_token_groups() {
    nt_thread_context *context = nt_thread_context_get();
    if (!context) return nullptr;
    if (!context->token_groups) {
        HANDLE token = nt_open_current_token(TOKEN_QUERY);
        if (!token) return nullptr;
        void *groups = nullptr;
        if (nt_read_token_information(token, TokenGroups, &groups) == 0) context->token_groups = groups;
        CloseHandle(token);
    }
    return static_cast<const TOKEN_GROUPS *>(context->token_groups);
}

void nt_forget_current_token_groups() {
    nt_thread_context *context = nt_thread_context_get();
    if (!context) return;
    std::free(context->token_groups);
    context->token_groups = nullptr;
}
