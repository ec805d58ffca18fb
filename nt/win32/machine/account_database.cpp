// Name and SID resolution over one machine's domains.
#include "machine/account_database.h"

#include "machine/local_accounts.h"
#include "advapi32/well_known_sids.h"

namespace quarn::win32 {
namespace {

AccountMatch match_of(const WellKnownAccount &w) { return {w.sid, w.name, w.domain, w.sid.parent(), w.use}; }

}  // namespace

AccountDatabase::AccountDatabase(const Directory &directory, const Host &host) {
    sources_.push_back({Kind::builtin, "BUILTIN", builtin_domain_sid()});
    auto add = [this](const Domain *d) { sources_.push_back({Kind::configured, d->name, d->sid, d}); };
    const Domain *home = host.domain;
    if (host.role == Host::Role::this_computer)
        sources_.push_back({Kind::local, directory.computer_name(), directory.account_domain_sid()});
    if (home) add(home);
    if (home && home == directory.primary())
        for (const auto &t : directory.trusted()) add(&t);
}

bool AccountDatabase::source_is_named(const Source &source, std::string_view name) const {
    return source.domain ? source.domain->is_named(name) : same_name(source.name, name);
}

AccountMatch AccountDatabase::domain_itself(const Source &source) const {
    return AccountMatch{source.sid, source.name, source.name, source.sid, SidTypeDomain};
}

std::optional<AccountMatch> AccountDatabase::account_in(const Source &source, std::string_view name) const {
    auto match = [&source](const std::string &found, DWORD rid, SID_NAME_USE use) {
        return AccountMatch{source.sid.with_rid(rid), found, source.name, source.sid, use};
    };
    switch (source.kind) {
    case Kind::builtin:
        for (const auto &a : builtin_aliases())
            if (same_name(a.name, name)) return match_of(a);
        return std::nullopt;
    case Kind::local:
        if (auto user = local_user_named(name))
            if (auto rid = user_rid(user->uid)) return match(user->name, *rid, SidTypeUser);
        if (auto group = local_group_named(name))
            if (auto rid = group_rid(group->gid)) return match(group->name, *rid, SidTypeAlias);
        return std::nullopt;
    case Kind::configured:
        if (const DomainAccount *a = source.domain->account_named(name)) return match(a->name, a->rid, a->use);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<AccountMatch> AccountDatabase::rid_in(const Source &source, DWORD rid) const {
    auto match = [&source, rid](const std::string &found, SID_NAME_USE use) {
        return AccountMatch{source.sid.with_rid(rid), found, source.name, source.sid, use};
    };
    switch (source.kind) {
    case Kind::builtin:
        for (const auto &a : builtin_aliases())
            if (a.sid.rid() == rid) return match_of(a);
        return std::nullopt;
    case Kind::local: {
        LocalAccount account = local_account_with_rid(rid);
        if (account.user) return match(account.user->name, SidTypeUser);
        if (account.group) return match(account.group->name, SidTypeAlias);
        return std::nullopt;
    }
    case Kind::configured:
        if (const DomainAccount *a = source.domain->account_with_rid(rid)) return match(a->name, a->use);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<AccountMatch> AccountDatabase::find_name(std::string_view name) const {
    if (name.empty()) {  // the answering machine's own domain
        if (sources_.size() < 2) return std::nullopt;
        return domain_itself(sources_[1]);
    }
    auto slash = name.find('\\');
    if (slash != std::string_view::npos) {
        std::string_view domain = name.substr(0, slash), account = name.substr(slash + 1);
        for (const auto &w : well_known_accounts())
            if (same_name(w.domain, domain) && same_name(w.name, account)) return match_of(w);
        for (const auto &source : sources_)
            if (source_is_named(source, domain)) return account.empty() ? std::nullopt : account_in(source, account);
        return std::nullopt;
    }
    for (const auto &w : well_known_accounts())
        if (same_name(w.name, name)) return match_of(w);
    for (const auto &source : sources_)
        if (source_is_named(source, name)) return domain_itself(source);
    for (const auto &source : sources_)
        if (auto found = account_in(source, name)) return found;
    return std::nullopt;
}

std::optional<AccountMatch> AccountDatabase::find_sid(const SidValue &sid) const {
    for (const auto &w : well_known_accounts())
        if (w.sid == sid) return match_of(w);
    for (const auto &source : sources_)
        if (source.sid == sid) return domain_itself(source);
    if (sid.count() < 2) return std::nullopt;
    SidValue parent = sid.parent();
    for (const auto &source : sources_)
        if (source.sid == parent) return rid_in(source, sid.rid());
    return std::nullopt;
}

}  // namespace quarn::win32
