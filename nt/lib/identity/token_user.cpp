// nt_get_user_sid: the user SID of the calling thread's token (its
// impersonation token, else the process token), copied once into the
// thread's heap and kept there until the thread ends or the identity caches
// are flushed.
#include "identity/current_token.h"
#include "frame/frame.h"
#include "nt.h"
#include "frame/trace.h"

namespace {

// The token user is read into a fixed buffer; a longer answer fails.
constexpr DWORD kTokenUserBufferSize = 100;

}  // namespace

extern "C" NT_API int nt_get_user_sid(PSID *sid_out) {
    if (!sid_out) return 0;
    nt_thread_context *context = nt_thread_context_get();
    if (!context) return 0;
    if (!context->user_sid) {
        HANDLE token = nt_open_current_token(TOKEN_QUERY);
        if (!token) return 0;
        alignas(8) BYTE buffer[kTokenUserBufferSize];
        DWORD needed = 0;
        BOOL read = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed);
        if (!read) NT_TRACE_FAILURE("GetTokenInformation", GetLastError());
        CloseHandle(token);
        if (!read) return 0;
        PSID sid = reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid;
        DWORD length = GetLengthSid(sid);
        void *copy = nt_thread_alloc(context, length);
        if (!copy) return 0;
        if (!CopySid(length, copy, sid)) {
            NT_TRACE_FAILURE("CopySid", GetLastError());
            nt_thread_free(context, copy);
            return 0;
        }
        context->user_sid = copy;
    }
    *sid_out = context->user_sid;
    return 1;
}
