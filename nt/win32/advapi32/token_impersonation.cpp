// Per-thread impersonation: the token a thread acts under instead of the
// process token, set with SetThreadToken or ImpersonateLoggedOnUser, ended
// with RevertToSelf, and read back with OpenThreadToken.  A thread's token is
// its own; other threads keep acting as the process.
#include "advapi32/token_object.h"

namespace quarn::win32 {
namespace {

thread_local std::shared_ptr<const Token> impersonated;

bool is_current_thread(HANDLE thread) {
    if (thread == GetCurrentThread()) return true;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

}  // namespace

std::shared_ptr<const Token> thread_token() { return impersonated; }
void set_thread_token(std::shared_ptr<const Token> token) { impersonated = std::move(token); }

}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL, PHANDLE token) {
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!is_current_thread(thread)) return FALSE;
    auto current = thread_token();
    if (!current) {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    if (current->level == SecurityAnonymous) {
        SetLastError(ERROR_CANT_OPEN_ANONYMOUS);
        return FALSE;
    }
    *token = token_handle(std::move(current), access);
    return TRUE;
}

BOOL SetThreadToken(PHANDLE thread, HANDLE token) {
    if (thread && !is_current_thread(*thread)) return FALSE;
    if (!token) {
        set_thread_token(nullptr);
        return TRUE;
    }
    auto handle = typed_object<TokenHandle>(token);
    if (!handle) return FALSE;
    if (handle->token()->type != TokenImpersonation) {
        SetLastError(ERROR_BAD_TOKEN_TYPE);
        return FALSE;
    }
    if (!handle->grants(TOKEN_IMPERSONATE)) return FALSE;
    set_thread_token(handle->token());
    return TRUE;
}

BOOL ImpersonateLoggedOnUser(HANDLE token) {
    auto handle = typed_object<TokenHandle>(token);
    if (!handle) return FALSE;
    const auto &source = handle->token();
    bool primary = source->type == TokenPrimary;
    if (!handle->grants(TOKEN_QUERY | (primary ? TOKEN_DUPLICATE : TOKEN_IMPERSONATE))) return FALSE;
    if (!primary) {
        set_thread_token(source);
        return TRUE;
    }
    set_thread_token(
        std::make_shared<const Token>(source->contents(), TokenImpersonation, SecurityImpersonation, new_luid()));
    return TRUE;
}

BOOL RevertToSelf() {
    set_thread_token(nullptr);
    return TRUE;
}

}  // extern "C"
