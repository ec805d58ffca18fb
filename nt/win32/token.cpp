// Access tokens.  The process token is made from the real credentials: uid 0
// is LocalSystem (S-1-5-18); any other user is their account in this
// machine's account domain, RID 1000 + 2*uid.  machine.toml's [token] user
// replaces the user SID.  Privileges and the logon session follow the uid.
#include <unistd.h>

#include <cstring>
#include <vector>

#include "advapi.h"
#include "kernel_object.h"
#include "machine.h"
#include "process_object.h"

namespace {

class Token final : public quarn::win32::KernelObject {
public:
    Token(std::vector<BYTE> user, pid_t pid, uid_t uid)
        : user_(std::move(user)),
          privileges_(quarn::win32::privileges_for_uid(uid)),
          logon_(quarn::win32::logon_session_of(pid, uid)) {}
    const std::vector<BYTE> &user() const { return user_; }
    const std::vector<LUID_AND_ATTRIBUTES> &privileges() const { return privileges_; }
    LUID logon() const { return logon_; }

private:
    std::vector<BYTE> user_;
    std::vector<LUID_AND_ATTRIBUTES> privileges_;
    LUID logon_;
};

std::vector<BYTE> sid_bytes(PSID sid) {
    auto *p = static_cast<const BYTE *>(sid);
    return {p, p + GetLengthSid(sid)};
}

// The user SID of the process's credentials, or empty with the last error set.
std::vector<BYTE> process_user(const quarn::win32::Machine &machine, uid_t uid) {
    PSID sid = nullptr;
    if (auto text = machine.config().text("token.user")) {
        if (!ConvertStringSidToSidA(text->c_str(), &sid)) return {};
    } else {
        SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
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

// The answer's size in *return_length; false with ERROR_INSUFFICIENT_BUFFER when it does not fit.
bool fits(DWORD needed, LPVOID information, DWORD length, LPDWORD return_length) {
    *return_length = needed;
    if (length >= needed && information) return true;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
}

BOOL copy_privileges(const Token &t, LPVOID information, DWORD length, LPDWORD return_length) {
    DWORD count = static_cast<DWORD>(t.privileges().size());
    DWORD needed = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) + count * sizeof(LUID_AND_ATTRIBUTES));
    if (!fits(needed, information, length, return_length)) return FALSE;
    auto *out = static_cast<TOKEN_PRIVILEGES *>(information);
    out->PrivilegeCount = count;
    std::memcpy(out->Privileges, t.privileges().data(), count * sizeof(LUID_AND_ATTRIBUTES));
    return TRUE;
}

BOOL copy_statistics(const Token &t, LPVOID information, DWORD length, LPDWORD return_length) {
    if (!fits(sizeof(TOKEN_STATISTICS), information, length, return_length)) return FALSE;
    auto *out = static_cast<TOKEN_STATISTICS *>(information);
    std::memset(out, 0, sizeof *out);
    out->AuthenticationId = t.logon();
    out->TokenType = TokenPrimary;
    out->PrivilegeCount = static_cast<DWORD>(t.privileges().size());
    out->ExpirationTime = 0x7FFFFFFFFFFFFFFFLL;
    return TRUE;
}

}  // namespace

extern "C" {

BOOL OpenProcessToken(HANDLE process, DWORD, PHANDLE token) {
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pid_t pid = getpid();
    uid_t uid = geteuid();
    if (process != GetCurrentProcess()) {
        auto other = quarn::win32::typed_object<quarn::win32::ProcessObject>(process);
        if (!other) return FALSE;
        pid = static_cast<pid_t>(other->id());
        uid = other->uid();
    }
    const auto *machine = quarn::win32::Machine::current();
    if (!machine) return FALSE;
    auto user = process_user(*machine, uid);
    if (user.empty()) return FALSE;
    *token = quarn::win32::make_handle(std::make_shared<Token>(std::move(user), pid, uid));
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
    if (information_class == TokenPrivileges) return copy_privileges(*t, information, length, return_length);
    if (information_class == TokenStatistics) return copy_statistics(*t, information, length, return_length);
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
