// Access tokens.  The process token is made from the real credentials: uid 0
// is LocalSystem (S-1-5-18); any other user is their account in this
// machine's account domain, RID 1000 + 2*uid.  machine.toml's [token] user
// replaces the user SID.
#include <unistd.h>

#include <cstring>
#include <vector>

#include "advapi.h"
#include "kernel_object.h"
#include "machine.h"

namespace {

class Token final : public quarn::win32::KernelObject {
public:
    explicit Token(std::vector<BYTE> user) : user_(std::move(user)) {}
    const std::vector<BYTE> &user() const { return user_; }

private:
    std::vector<BYTE> user_;
};

std::vector<BYTE> sid_bytes(PSID sid) {
    auto *p = static_cast<const BYTE *>(sid);
    return {p, p + GetLengthSid(sid)};
}

// The user SID of the process's credentials, or empty with the last error set.
std::vector<BYTE> process_user(const quarn::win32::Machine &machine) {
    PSID sid = nullptr;
    if (auto text = machine.config().text("token.user")) {
        if (!ConvertStringSidToSidA(text->c_str(), &sid)) return {};
    } else {
        SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
        uid_t uid = geteuid();
        const auto &d = machine.account_domain();
        BOOL made = uid == 0 ? AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &sid)
                             : AllocateAndInitializeSid(&nt, 5, SECURITY_NT_NON_UNIQUE, d[0], d[1], d[2],
                                                        1000u + 2u * static_cast<DWORD>(uid), 0, 0, 0, &sid);
        if (!made) return {};
    }
    auto bytes = sid_bytes(sid);
    FreeSid(sid);
    return bytes;
}

}  // namespace

extern "C" {

BOOL OpenProcessToken(HANDLE process, DWORD, PHANDLE token) {
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const auto *machine = quarn::win32::Machine::current();
    if (!machine) return FALSE;
    auto user = process_user(*machine);
    if (user.empty()) return FALSE;
    *token = quarn::win32::make_handle(std::make_shared<Token>(std::move(user)));
    return TRUE;
}

// No thread impersonates yet, so every thread answers as a non-impersonating one.
BOOL OpenThreadToken(HANDLE thread, DWORD, BOOL, PHANDLE token) {
    if (!token || thread != GetCurrentThread()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SetLastError(ERROR_NO_TOKEN);
    return FALSE;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, LPVOID information, DWORD length,
                         LPDWORD return_length) {
    auto t = quarn::win32::typed_object<Token>(token);
    if (!t) return FALSE;
    if (!return_length) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (information_class != TokenUser) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + t->user().size());
    *return_length = needed;
    if (length < needed || !information) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto *out = static_cast<TOKEN_USER *>(information);
    BYTE *sid = static_cast<BYTE *>(information) + sizeof(TOKEN_USER);
    std::memcpy(sid, t->user().data(), t->user().size());
    out->User.Sid = sid;
    out->User.Attributes = 0;
    return TRUE;
}

}  // extern "C"
