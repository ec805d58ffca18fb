// The account database that one machine answers with: name to SID and SID to
// name over the well-known SIDs, the builtin domain, the machine's account
// domain and the domains it trusts.  This computer searches, for a bare name:
// well-known names, domain names, then BUILTIN, its account domain (Linux's
// accounts), the primary domain and the trusted domains.  A controller answers
// for its own domain (and, in the primary domain, for the trusted domains); a
// member machine named in machine.toml answers for its domain when it is known.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "machine/directory.h"

namespace quarn::win32 {

struct AccountMatch {
    SidValue sid;
    std::string name;
    std::string domain;    // the referenced domain's name ("" for Everyone, ...)
    SidValue domain_sid;   // the referenced domain's SID: the account's SID less its RID
    SID_NAME_USE use = SidTypeUnknown;
};

class AccountDatabase {
public:
    AccountDatabase(const Directory &directory, const Host &host);

    // `name` is "DOMAIN\name" (flat or DNS domain name) or a bare name; any case.
    std::optional<AccountMatch> find_name(std::string_view name) const;
    std::optional<AccountMatch> find_sid(const SidValue &sid) const;

private:
    enum class Kind { builtin, local, configured };
    struct Source {
        Kind kind;
        std::string name;
        SidValue sid;
        const Domain *domain = nullptr;  // configured
    };

    std::optional<AccountMatch> account_in(const Source &source, std::string_view name) const;
    std::optional<AccountMatch> rid_in(const Source &source, DWORD rid) const;
    AccountMatch domain_itself(const Source &source) const;
    bool source_is_named(const Source &source, std::string_view name) const;

    std::vector<Source> sources_;  // in search order
};

}  // namespace quarn::win32
