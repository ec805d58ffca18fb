// Access tokens: token handles and the access they were opened with, the
// process token (built from the credentials once per effective uid, so that
// every handle to it names one token), DuplicateTokenEx and
// GetTokenInformation.  What the tokens hold comes from token_contents.cpp.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "machine/local_accounts.h"
#include "netapi32/packed_buffer.h"
#include "kernel32/process_object.h"
#include "advapi32/token_object.h"

namespace quarn::win32 {
namespace {

std::vector<gid_t> own_groups() {
    std::vector<gid_t> gids{getegid()};
    int n = getgroups(0, nullptr);
    std::vector<gid_t> more(n > 0 ? n : 0);
    if (n > 0 && getgroups(n, more.data()) == n) gids.insert(gids.end(), more.begin(), more.end());
    return gids;
}

std::vector<gid_t> groups_of_uid(uid_t uid) {
    std::vector<gid_t> gids;
    if (auto user = local_user_with_uid(uid))
        for (const auto &g : local_groups_of(*user)) gids.push_back(g.gid);
    return gids;
}

// This process's token; made again only when the effective uid has changed.
std::shared_ptr<const Token> own_process_token() {
    static std::mutex lock;
    static uid_t made_for = 0;
    static std::shared_ptr<const Token> token;
    std::lock_guard guard(lock);
    uid_t uid = geteuid();
    if (!token || made_for != uid) {
        auto made = primary_token(process_token_contents(getpid(), uid, own_groups()));
        if (!made) return nullptr;
        token = std::move(made);
        made_for = uid;
    }
    return token;
}

// The answer's size in *return_length; false with ERROR_INSUFFICIENT_BUFFER when it does not fit.
bool fits(DWORD needed, LPVOID information, DWORD length, LPDWORD return_length) {
    *return_length = needed;
    if (length >= needed && information) return true;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
}

// Lays out `fill(Packer &)` in the caller's buffer after measuring it.
template <typename Fill>
BOOL packed(size_t head, LPVOID information, DWORD length, LPDWORD return_length, Fill fill) {
    Packer measure(head, nullptr);
    fill(measure);
    if (!fits(static_cast<DWORD>(measure.size()), information, length, return_length)) return FALSE;
    Packer write(head, static_cast<BYTE *>(information));
    fill(write);
    return TRUE;
}

// TOKEN_USER, TOKEN_OWNER and TOKEN_PRIMARY_GROUP: a SID pointer first, the
// rest of the structure (the user's attributes) zero.
template <typename T>
BOOL copy_one_sid(const SidValue &sid, LPVOID information, DWORD length, LPDWORD return_length) {
    return packed(sizeof(T), information, length, return_length, [&](Packer &p) {
        T *out = p.head<T>();
        std::memset(static_cast<void *>(out), 0, sizeof(T));
        *reinterpret_cast<PSID *>(out) = p.sid(sid);
    });
}

BOOL copy_groups(const TokenContents &t, LPVOID information, DWORD length, LPDWORD return_length) {
    size_t head = offsetof(TOKEN_GROUPS, Groups) + t.groups.size() * sizeof(SID_AND_ATTRIBUTES);
    return packed(head, information, length, return_length, [&](Packer &p) {
        auto *out = p.head<TOKEN_GROUPS>();
        out->GroupCount = static_cast<DWORD>(t.groups.size());
        for (size_t i = 0; i < t.groups.size(); ++i) {
            out->Groups[i].Sid = p.sid(t.groups[i].sid);
            out->Groups[i].Attributes = t.groups[i].attributes;
        }
    });
}

BOOL copy_privileges(const TokenContents &t, LPVOID information, DWORD length, LPDWORD return_length) {
    DWORD count = static_cast<DWORD>(t.privileges.size());
    DWORD needed = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) + count * sizeof(LUID_AND_ATTRIBUTES));
    if (!fits(needed, information, length, return_length)) return FALSE;
    auto *out = static_cast<TOKEN_PRIVILEGES *>(information);
    out->PrivilegeCount = count;
    std::memcpy(out->Privileges, t.privileges.data(), count * sizeof(LUID_AND_ATTRIBUTES));
    return TRUE;
}

BOOL copy_word(DWORD value, LPVOID information, DWORD length, LPDWORD return_length) {
    if (!fits(sizeof(DWORD), information, length, return_length)) return FALSE;
    std::memcpy(information, &value, sizeof value);
    return TRUE;
}

BOOL copy_statistics(const Token &t, LPVOID information, DWORD length, LPDWORD return_length) {
    if (!fits(sizeof(TOKEN_STATISTICS), information, length, return_length)) return FALSE;
    auto *out = static_cast<TOKEN_STATISTICS *>(information);
    std::memset(out, 0, sizeof *out);
    out->TokenId = t.id;
    auto contents = t.contents();
    out->AuthenticationId = contents->logon;
    out->ExpirationTime = 0x7FFFFFFFFFFFFFFFLL;
    out->TokenType = t.type;
    out->ImpersonationLevel = t.level;
    out->GroupCount = static_cast<DWORD>(contents->groups.size());
    out->PrivilegeCount = static_cast<DWORD>(contents->privileges.size());
    out->ModifiedId = t.id;
    return TRUE;
}

}  // namespace

std::shared_ptr<const TokenContents> Token::contents() const {
    std::lock_guard guard(lock_);
    return contents_;
}

TokenHandle::TokenHandle(std::shared_ptr<const Token> token, ACCESS_MASK access)
    : token_(std::move(token)), access_(access & MAXIMUM_ALLOWED ? TOKEN_ALL_ACCESS : access) {}

bool TokenHandle::grants(ACCESS_MASK needed) const {
    if ((access_ & needed) == needed) return true;
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

LUID new_luid() {
    static std::atomic<DWORD> next{0x10000000};  // above the logon sessions of logon_session_of
    return {next++, 0};
}

std::shared_ptr<const Token> primary_token(std::shared_ptr<const TokenContents> contents) {
    if (!contents) return nullptr;
    return std::make_shared<const Token>(std::move(contents), TokenPrimary, SecurityAnonymous, new_luid());
}

HANDLE token_handle(std::shared_ptr<const Token> token, ACCESS_MASK access) {
    return make_handle(std::make_shared<TokenHandle>(std::move(token), access));
}

}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::shared_ptr<const Token> found;
    if (process == GetCurrentProcess()) {
        found = own_process_token();
    } else {
        auto other = typed_object<ProcessObject>(process);
        if (!other) return FALSE;
        pid_t pid = static_cast<pid_t>(other->id());
        // This process opened by its id has the one token of this process.
        if (pid == getpid())
            found = own_process_token();
        else
            found = primary_token(process_token_contents(pid, other->uid(), groups_of_uid(other->uid())));
    }
    if (!found) return FALSE;
    *token = token_handle(std::move(found), access);
    return TRUE;
}

BOOL DuplicateTokenEx(HANDLE token, DWORD access, LPSECURITY_ATTRIBUTES, SECURITY_IMPERSONATION_LEVEL level,
                      TOKEN_TYPE type, PHANDLE new_token) {
    auto handle = typed_object<TokenHandle>(token);
    if (!handle) return FALSE;
    if (!new_token || level < SecurityAnonymous || level > SecurityDelegation ||
        (type != TokenPrimary && type != TokenImpersonation)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!handle->grants(TOKEN_DUPLICATE)) return FALSE;
    const Token &source = *handle->token();
    bool raises = source.type == TokenImpersonation && level > source.level;
    if (raises || (type == TokenPrimary && level < SecurityImpersonation)) {
        SetLastError(ERROR_BAD_IMPERSONATION_LEVEL);
        return FALSE;
    }
    auto copy = std::make_shared<const Token>(source.contents(), type,
                                              type == TokenImpersonation ? level : SecurityAnonymous, new_luid());
    *new_token = token_handle(std::move(copy), access ? access : handle->access());
    return TRUE;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, LPVOID information, DWORD length,
                         LPDWORD return_length) {
    auto handle = typed_object<TokenHandle>(token);
    if (!handle) return FALSE;
    if (!return_length) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (!handle->grants(TOKEN_QUERY)) return FALSE;
    const Token &t = *handle->token();
    auto contents = t.contents();
    const TokenContents &c = *contents;
    switch (information_class) {
    case TokenUser:
        return copy_one_sid<TOKEN_USER>(c.user, information, length, return_length);
    case TokenGroups:
        return copy_groups(c, information, length, return_length);
    case TokenPrivileges:
        return copy_privileges(c, information, length, return_length);
    case TokenOwner:
        return copy_one_sid<TOKEN_OWNER>(c.owner, information, length, return_length);
    case TokenPrimaryGroup:
        return copy_one_sid<TOKEN_PRIMARY_GROUP>(c.primary_group, information, length, return_length);
    case TokenType:
        return copy_word(t.type, information, length, return_length);
    case TokenImpersonationLevel:
        if (t.type == TokenImpersonation) return copy_word(t.level, information, length, return_length);
        break;
    case TokenStatistics:
        return copy_statistics(t, information, length, return_length);
    default:
        break;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // extern "C"
