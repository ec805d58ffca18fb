// The domain's information about a user (full name, home directory, primary
// group), asked of the controller that holds it.
#pragma once

#include <memory>

#include "netapi.h"
#include "win32.h"

struct NetBufferFree {
    void operator()(void *buffer) const { NetApiBufferFree(buffer); }
};
using UserInformation = std::unique_ptr<USER_INFO_3, NetBufferFree>;

// `account` (a leading DOMAIN\ is dropped) of `domain`, whose domain SID is
// `domain_sid`: this machine answers for its own accounts and outside a
// domain, else a controller of the domain, then its backup controllers.
// Null when no server has the user.
UserInformation nt_query_user_information(PSID domain_sid, const char *account, const char *domain);
