// The directory of the machine: the domains it knows and their accounts, and
// the other machines of the network.  Built once per process with the machine
// (Machine::directory()) from machine.toml; this machine's own accounts are
// Linux's (local_accounts.h) and are asked for when needed.
//
//   the account domain   S-1-5-21-a-b-c, named after the computer (NSS accounts)
//   the primary domain   [domain] with a sid; [domain] without one is a workgroup
//   trusted domains      [[trusted]]
//   other machines       [[machines]], and the controllers of every domain
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "machine/machine_config.h"
#include "advapi32/sid_value.h"

namespace quarn::win32 {

constexpr DWORD DOMAIN_GROUP_RID_USERS = 513;

// A user or group of a domain in machine.toml.
struct DomainAccount {
    std::string name;
    DWORD rid = 0;
    SID_NAME_USE use = SidTypeUser;  // SidTypeUser or SidTypeGroup
    std::string full_name;           // users
    std::string comment;
    std::string home_dir;            // users: a Windows path
    DWORD primary_group = DOMAIN_GROUP_RID_USERS;  // users: the RID of their primary group
    std::vector<std::string> members;              // groups: names, "DOMAIN\name" for other domains
};

struct Domain {
    std::string name;      // the flat (NetBIOS) name
    std::string dns_name;  // empty when the domain has none
    SidValue sid;
    std::optional<DWORD> posix_offset;  // trusted domains: the trust's POSIX offset
    std::vector<std::string> controllers;  // the primary controller first, then the backups
    bool directory_service = false;
    GUID guid{};
    std::vector<DomainAccount> accounts;   // users, then groups, in file order

    // The account `name` (any case), or null.
    const DomainAccount *account_named(std::string_view name) const;
    const DomainAccount *account_with_rid(DWORD rid) const;
    // Whether `name` is this domain's flat or DNS name (any case).
    bool is_named(std::string_view name) const;
};

// A machine that calls may name as their server.
struct Host {
    enum class Role { this_computer, controller, member };
    Role role = Role::this_computer;
    std::string name;                 // upper case, no backslashes
    bool answers = true;              // false: the machine is down or unreachable
    bool session_required = false;    // calls need a connection to \\NAME\IPC$ first
    const Domain *domain = nullptr;   // a controller's domain; a member's, when it is known here
    std::string domain_name;          // a member's primary domain or workgroup
    SidValue domain_sid;              // empty for a workgroup member
};

class Directory {
public:
    Directory(const MachineConfig &config, const std::string &computer_name,
              const std::array<uint32_t, 3> &account_domain);

    const std::string &computer_name() const { return computer_name_; }
    const SidValue &account_domain_sid() const { return account_domain_sid_; }
    // The primary domain, or null when the machine is in a workgroup.
    const Domain *primary() const { return primary_ ? &*primary_ : nullptr; }
    // The primary domain's or the workgroup's name.
    const std::string &primary_name() const { return primary_name_; }
    const std::vector<Domain> &trusted() const { return trusted_; }
    // The primary domain, if any, then the trusted domains.
    std::vector<const Domain *> domains() const;

    // The primary or a trusted domain by flat or DNS name, or by SID; or null.
    const Domain *domain_named(std::string_view name) const;
    const Domain *domain_with_sid(const SidValue &sid) const;

    // The machine called `name` (any case, leading backslashes allowed; null
    // or empty is this computer), or nullopt when the network has no such machine.
    std::optional<Host> host(std::string_view name) const;
    std::optional<Host> host(const char *name) const { return host(std::string_view(name ? name : "")); }
    // The machines of [[machines]], in file order.
    const std::vector<Host> &machines() const { return machines_; }

private:
    std::string computer_name_;
    SidValue account_domain_sid_;
    std::optional<Domain> primary_;
    std::string primary_name_;
    std::vector<Domain> trusted_;
    std::vector<Host> machines_;  // [[machines]]
};

// Whether two names (UTF-8) are equal without regard to case (upper_case of winnls.h).
bool same_name(std::string_view a, std::string_view b);

}  // namespace quarn::win32
