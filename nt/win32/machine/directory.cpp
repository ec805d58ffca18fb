// The directory from machine.toml: the primary domain or workgroup, the
// trusted domains with their accounts, and the other machines.  Checks that
// involve more than one key are made here, each one error naming its key.
#include "machine/directory.h"

#include <algorithm>
#include <cctype>

#include "rpc.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

constexpr BYTE kNtAuthority = 5;

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

std::string machine_name(std::string_view name) {
    while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
    return upper(std::string(name));
}

void load_accounts(const MachineConfig &config, const std::string &domain_key, const char *list,
                   SID_NAME_USE use, std::vector<DomainAccount> &out) {
    std::string list_key = domain_key + "." + list;
    for (size_t i = 0; i < config.count(list_key); ++i) {
        std::string key = list_key + "." + std::to_string(i);
        auto name = config.text(key + ".name");
        auto rid = config.integer(key + ".rid");
        if (!name || !rid) config.fail(key, "needs a name and a rid");
        for (const auto &other : out) {
            if (same_name(other.name, *name)) config.fail(key + ".name", "repeats the name of another account");
            if (other.rid == *rid) config.fail(key + ".rid", "repeats the rid of another account");
        }
        DomainAccount account;
        account.name = *name;
        account.rid = static_cast<DWORD>(*rid);
        account.use = use;
        account.full_name = config.text(key + ".full_name").value_or("");
        account.comment = config.text(key + ".comment").value_or("");
        account.home_dir = config.text(key + ".home_dir").value_or("");
        account.primary_group = static_cast<DWORD>(config.integer(key + ".primary_group").value_or(DOMAIN_GROUP_RID_USERS));
        account.members = config.texts(key + ".members").value_or(std::vector<std::string>{});
        out.push_back(std::move(account));
    }
}

// The domain of the table `key` ("domain", "trusted.0"), which has a name and a SID.
Domain load_domain(const MachineConfig &config, const std::string &key) {
    Domain d;
    d.name = upper(*config.text(key + ".name"));
    d.sid = *SidValue::parse(*config.text(key + ".sid"));
    if (d.sid.count() < 1 || d.sid.sub_authority(0) != SECURITY_NT_NON_UNIQUE)
        config.fail(key + ".sid", "expected a domain SID such as \"S-1-5-21-1-2-3\"");
    d.dns_name = config.text(key + ".dns_name").value_or("");
    if (auto offset = config.integer(key + ".posix_offset")) d.posix_offset = static_cast<DWORD>(*offset);
    for (const auto &c : config.texts(key + ".controllers").value_or(std::vector<std::string>{}))
        d.controllers.push_back(machine_name(c));
    d.directory_service = config.flag(key + ".directory_service").value_or(false);
    if (auto guid = config.text(key + ".guid")) UuidFromStringA(reinterpret_cast<RPC_CSTR>(guid->data()), &d.guid);
    load_accounts(config, key, "users", SidTypeUser, d.accounts);
    load_accounts(config, key, "groups", SidTypeGroup, d.accounts);
    return d;
}

// A workgroup's [domain] holds a name only; anything else needs the domain's SID.
void check_workgroup(const MachineConfig &config) {
    for (const char *key : {"dns_name", "controllers", "directory_service", "guid", "users", "groups"}) {
        std::string full = std::string("domain.") + key;
        bool present = config.text(full) || config.texts(full) || config.flag(full) || config.count(full);
        if (present) config.fail(full, "belongs to a domain: give domain.sid too, or leave it out for a workgroup");
    }
}

}  // namespace

bool same_name(std::string_view a, std::string_view b) {
    auto ascii = [](std::string_view text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    // Account names are nearly always ASCII, where upper case is the letters'.
    if (ascii(a) && ascii(b))
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char p, char q) {
                   return upper_case(static_cast<char16_t>(p)) == upper_case(static_cast<char16_t>(q));
               });
    std::u16string x = utf8_to_utf16(a), y = utf8_to_utf16(b);
    return x.size() == y.size() &&
           std::equal(x.begin(), x.end(), y.begin(), [](char16_t p, char16_t q) { return upper_case(p) == upper_case(q); });
}

const DomainAccount *Domain::account_named(std::string_view name) const {
    for (const auto &a : accounts)
        if (same_name(a.name, name)) return &a;
    return nullptr;
}

const DomainAccount *Domain::account_with_rid(DWORD rid) const {
    for (const auto &a : accounts)
        if (a.rid == rid) return &a;
    return nullptr;
}

bool Domain::is_named(std::string_view n) const { return same_name(name, n) || (!dns_name.empty() && same_name(dns_name, n)); }

Directory::Directory(const MachineConfig &config, const std::string &computer_name,
                     const std::array<uint32_t, 3> &account_domain)
    : computer_name_(computer_name),
      account_domain_sid_(kNtAuthority, {SECURITY_NT_NON_UNIQUE, account_domain[0], account_domain[1], account_domain[2]}),
      primary_name_(upper(config.text("domain.name").value_or("WORKGROUP"))) {
    if (config.text("domain.sid")) {
        if (!config.text("domain.name")) config.fail("domain.sid", "needs domain.name");
        primary_ = load_domain(config, "domain");
    } else {
        check_workgroup(config);
    }
    for (size_t i = 0; i < config.count("trusted"); ++i) {
        std::string key = "trusted." + std::to_string(i);
        if (!config.text(key + ".name") || !config.text(key + ".sid")) config.fail(key, "needs a name and a sid");
        Domain d = load_domain(config, key);
        bool clash = same_name(d.name, computer_name_) || same_name(d.name, "BUILTIN");
        if (clash || domain_named(d.name) || (!d.dns_name.empty() && domain_named(d.dns_name)))
            config.fail(key + ".name", "names a domain that is known already");
        if (d.sid == account_domain_sid_ || domain_with_sid(d.sid)) config.fail(key + ".sid", "is the SID of another domain");
        trusted_.push_back(std::move(d));
    }
    for (size_t i = 0; i < config.count("machines"); ++i) {
        std::string key = "machines." + std::to_string(i);
        auto name = config.text(key + ".name");
        if (!name) config.fail(key, "needs a name");
        Host m;
        m.role = Host::Role::member;
        m.name = machine_name(*name);
        for (const auto &other : machines_)
            if (other.name == m.name) config.fail(key + ".name", "repeats the name of another machine");
        m.answers = config.flag(key + ".answers").value_or(true);
        m.session_required = config.flag(key + ".session_required").value_or(false);
        m.domain_name = upper(config.text(key + ".domain").value_or("WORKGROUP"));
        m.domain = domain_named(m.domain_name);
        if (auto sid = config.text(key + ".domain_sid")) m.domain_sid = *SidValue::parse(*sid);
        else if (m.domain) m.domain_sid = m.domain->sid;
        machines_.push_back(std::move(m));
    }
}

std::vector<const Domain *> Directory::domains() const {
    std::vector<const Domain *> out;
    if (primary_) out.push_back(&*primary_);
    for (const auto &d : trusted_) out.push_back(&d);
    return out;
}

const Domain *Directory::domain_named(std::string_view name) const {
    for (const Domain *d : domains())
        if (d->is_named(name)) return d;
    return nullptr;
}

const Domain *Directory::domain_with_sid(const SidValue &sid) const {
    for (const Domain *d : domains())
        if (d->sid == sid) return d;
    return nullptr;
}

std::optional<Host> Directory::host(std::string_view name) const {
    std::string wanted = machine_name(name);
    if (wanted.empty() || wanted == computer_name_) {
        Host self;
        self.name = computer_name_;
        self.domain = primary();
        self.domain_name = primary_name_;
        if (primary_) self.domain_sid = primary_->sid;
        return self;
    }
    std::optional<Host> found;
    for (const Domain *d : domains()) {
        if (std::find(d->controllers.begin(), d->controllers.end(), wanted) == d->controllers.end()) continue;
        found = Host{Host::Role::controller, wanted, true, false, d, d->name, d->sid};
        break;
    }
    for (const auto &m : machines_) {
        if (m.name != wanted) continue;
        if (!found) return m;
        found->answers = m.answers;
        found->session_required = m.session_required;
    }
    return found;
}

}  // namespace quarn::win32
