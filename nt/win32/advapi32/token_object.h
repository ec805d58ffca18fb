// Access tokens inside the layer: the facts a token holds, the kernel object
// a token handle stands for (the token and the access it was opened with),
// and where the facts come from (token_contents.cpp).
#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <vector>

#include "kernel32/kernel_object.h"
#include "advapi32/sid_value.h"

namespace quarn::win32 {

struct TokenGroup {
    SidValue sid;
    DWORD attributes;
};

// What a token says; fixed once made.
struct TokenContents {
    SidValue user;
    std::vector<TokenGroup> groups;
    SidValue primary_group;
    SidValue owner;
    std::vector<LUID_AND_ATTRIBUTES> privileges;
    LUID logon{};
};

// A token: its kind and id are fixed; what it holds changes only through
// AdjustTokenPrivileges and SetTokenInformation, which replace the whole
// contents, so a reader always sees one consistent state.
class Token {
public:
    Token(std::shared_ptr<const TokenContents> contents, TOKEN_TYPE type, SECURITY_IMPERSONATION_LEVEL level, LUID id)
        : type(type), level(level), id(id), contents_(std::move(contents)) {}

    std::shared_ptr<const TokenContents> contents() const;
    // Applies `change` to a copy of the contents and makes the copy current
    // when `change` returns true; the result of `change`.
    template <typename Change>
    bool change(Change change) const {
        std::lock_guard guard(lock_);
        auto copy = std::make_shared<TokenContents>(*contents_);
        if (!change(*copy)) return false;
        contents_ = std::move(copy);
        return true;
    }

    const TOKEN_TYPE type;
    const SECURITY_IMPERSONATION_LEVEL level;  // impersonation tokens only
    const LUID id;

private:
    mutable std::mutex lock_;
    mutable std::shared_ptr<const TokenContents> contents_;
};

class TokenHandle final : public KernelObject {
public:
    TokenHandle(std::shared_ptr<const Token> token, ACCESS_MASK access);
    const std::shared_ptr<const Token> &token() const { return token_; }
    ACCESS_MASK access() const { return access_; }
    // False with ERROR_ACCESS_DENIED unless the handle grants every right of `needed`.
    bool grants(ACCESS_MASK needed) const;

private:
    std::shared_ptr<const Token> token_;
    ACCESS_MASK access_;
};

// A new locally unique identifier (token and logon-session ids).
LUID new_luid();
// A new primary token holding `contents`; null when `contents` is.
std::shared_ptr<const Token> primary_token(std::shared_ptr<const TokenContents> contents);
// A new handle to `token` with `access` (MAXIMUM_ALLOWED is every token right).
HANDLE token_handle(std::shared_ptr<const Token> token, ACCESS_MASK access);

// The token of a process running as `uid`, from its credentials and
// machine.toml's [token]; null with the last error set when it cannot be made.
// `groups` are the process's Linux groups (primary first).
std::shared_ptr<const TokenContents> process_token_contents(pid_t pid, uid_t uid, const std::vector<gid_t> &groups);
// The token of an interactive logon of the user `account`.
std::shared_ptr<const TokenContents> account_token_contents(const SidValue &account);

// The calling thread's impersonation token, or null.
std::shared_ptr<const Token> thread_token();
void set_thread_token(std::shared_ptr<const Token> token);

}  // namespace quarn::win32
