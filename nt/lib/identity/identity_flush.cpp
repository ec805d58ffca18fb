// The identity flush: after a caller has changed the thread's token, the
// answers kept from the old one are forgotten: the thread's token copies and
// group list, and the process-wide prefix, login name, logon-session SID and
// privilege answers.
// The name caches stay.
#include <cstdlib>

#include "identity/current_token.h"
#include "identity/domains.h"
#include "frame/frame.h"
#include "identity/identity.h"
#include "nt.h"

namespace {

void forget_thread_answers() {
    nt_thread_context *context = nt_thread_context_get();
    if (!context) return;
    nt_thread_free(context, context->user_sid);
    context->user_sid = nullptr;
    nt_thread_free(context, context->effective_primary_group);
    context->effective_primary_group = nullptr;
    std::free(context->token_primary_group);  // malloc'd, as the token reader returns it
    context->token_primary_group = nullptr;
    nt_forget_current_token_groups();
    for (int i = 0; context->group_list && i < context->group_list_count; ++i)
        nt_thread_free(context, context->group_list[i]);
    nt_thread_free(context, context->group_list);
    context->group_list = nullptr;
    context->group_list_count = -1;
}

void flush_identity() {
    forget_thread_answers();
    NtLibraryLock lock;
    nt_forget_user_domain_prefix();
    nt_forget_login_name();
    ntx_forget_logon_session_sid();
    nt_forget_privilege_answers();
    nt_forget_chown_privileges();
}

}  // namespace

extern "C" NT_API void nt_impersonate_user(void) { flush_identity(); }

extern "C" NT_API void nt_revert_to_self(void) { flush_identity(); }
