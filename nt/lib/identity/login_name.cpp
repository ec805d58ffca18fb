// nt_getlogin: the current user's qualified name, looked up once per process
// and kept until the identity flush.
#include "frame/frame.h"
#include "identity/identity.h"
#include "nt.h"

namespace {

constexpr size_t kLoginNameSize = 324;
char login_name[kLoginNameSize];  // empty until computed; guarded by the library lock

}  // namespace

void nt_forget_login_name() { login_name[0] = '\0'; }

extern "C" NT_API char *nt_getlogin(void) {
    NtLibraryLock lock;
    if (login_name[0]) return login_name;
    PSID user = nullptr;
    char name[kAccountNameSize], domain[kDomainNameSize];
    SID_NAME_USE use;
    if (!nt_get_user_sid(&user) || !nt_lookup_sid_name(user, name, domain, &use)) return nullptr;
    nt_qualify_account_name(name, domain, login_name, kQualifiedNameSize);
    return login_name;
}
