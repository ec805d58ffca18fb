// What a token holds: the user, groups, primary group, owner, privileges and
// logon session of a process's credentials or of an account's interactive
// logon, and machine.toml's [token] keys that replace any of them.
//
//   root                LocalSystem: Administrators (owner), Everyone,
//                       Authenticated Users; every privilege; logon 999
//   any other user      Everyone, the account's groups, BUILTIN\Users,
//                       Interactive, Authenticated Users, Local and a logon
//                       SID; Administrators for deny only when the account
//                       would administer the machine (sudo, wheel, adm,
//                       Domain Admins), as a filtered token holds it
#include <algorithm>
#include <string>

#include "machine/local_accounts.h"
#include "machine/machine.h"
#include "kernel32/process_object.h"
#include "advapi32/token_object.h"
#include "advapi32/well_known_sids.h"

namespace quarn::win32 {
namespace {

constexpr BYTE kWorldAuthority = 1, kLocalAuthority = 2, kNtAuthority = 5;
constexpr DWORD kEnabled = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
constexpr DWORD kOwnerGroup = SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED | SE_GROUP_OWNER;
constexpr DWORD kDomainAdminsRid = 512;
constexpr DWORD kLogonIdsRid = 5, kInteractiveRid = 4, kAuthenticatedUsersRid = 11;
constexpr DWORD kUsersAliasRid = 545;
constexpr uid_t kOrdinaryUid = 65534;  // any uid but 0 holds the ordinary user's privileges
const char *const kAdministeringGroups[] = {"sudo", "wheel", "adm"};

const SidValue &administrators() {
    static const SidValue sid = builtin_domain_sid().with_rid(DOMAIN_ALIAS_RID_ADMINS);
    return sid;
}

enum class Admin { no, filtered, full };

// An account's own part of a token.
struct Member {
    SidValue user;
    std::vector<SidValue> groups;  // the primary group first
    Admin admin = Admin::no;
};

SidValue local_group_sid(const Directory &directory, gid_t gid) {
    auto rid = group_rid(gid);
    return rid ? directory.account_domain_sid().with_rid(*rid) : SidValue();
}

bool administers(const LocalGroup &group) {
    return std::any_of(std::begin(kAdministeringGroups), std::end(kAdministeringGroups),
                       [&](const char *name) { return group.name == name; });
}

Member local_member(const Directory &directory, SidValue user, uid_t uid, const std::vector<gid_t> &gids) {
    Member m{std::move(user), {}, uid == 0 ? Admin::full : Admin::no};
    for (gid_t gid : gids) {
        SidValue sid = local_group_sid(directory, gid);
        if (sid.empty() || std::find(m.groups.begin(), m.groups.end(), sid) != m.groups.end()) continue;
        m.groups.push_back(std::move(sid));
        auto group = local_group_with_gid(gid);
        if (m.admin == Admin::no && group && administers(*group)) m.admin = Admin::filtered;
    }
    return m;
}

std::vector<gid_t> gids_of(const LocalUser &user) {
    std::vector<gid_t> gids;
    for (const auto &g : local_groups_of(user)) gids.push_back(g.gid);
    if (gids.empty() || gids.front() != user.gid) gids.insert(gids.begin(), user.gid);
    return gids;
}

// Whether `members` of a group of `owner` name `account` of `domain`.
bool lists(const std::vector<std::string> &members, const Domain &owner, const Domain &domain,
           const DomainAccount &account) {
    for (const auto &m : members) {
        auto slash = m.find('\\');
        if (slash == std::string::npos ? &owner == &domain && same_name(m, account.name)
                                       : domain.is_named(m.substr(0, slash)) && same_name(m.substr(slash + 1), account.name))
            return true;
    }
    return false;
}

Member domain_member(const Directory &directory, const Domain &domain, const DomainAccount &account) {
    Member m{domain.sid.with_rid(account.rid), {domain.sid.with_rid(account.primary_group)}, Admin::no};
    for (const Domain *owner : directory.domains())
        for (const auto &g : owner->accounts) {
            SidValue sid = owner->sid.with_rid(g.rid);
            if (g.use != SidTypeGroup || sid == m.groups.front() || !lists(g.members, *owner, domain, account)) continue;
            m.groups.push_back(sid);
            if (owner == &domain && g.rid == kDomainAdminsRid) m.admin = Admin::filtered;
        }
    return m;
}

// The account `user` of this machine or of a domain of the directory, or nullopt.
std::optional<Member> member_of_directory(const Directory &directory, const SidValue &user) {
    if (user.count() < 2) return std::nullopt;
    SidValue domain_sid = user.parent();
    if (domain_sid == directory.account_domain_sid()) {
        auto local = local_account_with_rid(user.rid()).user;
        if (!local) return std::nullopt;
        return local_member(directory, user, local->uid, gids_of(*local));
    }
    const Domain *domain = directory.domain_with_sid(domain_sid);
    const DomainAccount *account = domain ? domain->account_with_rid(user.rid()) : nullptr;
    if (!account || account->use != SidTypeUser) return std::nullopt;
    return domain_member(directory, *domain, *account);
}

// An account that the directory does not know: its domain's users group as
// its primary group, when it has a domain.
Member stranger(const SidValue &user) {
    bool in_domain = user.count() >= 2 && user.sub_authority(0) == SECURITY_NT_NON_UNIQUE;
    return {user, {in_domain ? user.parent().with_rid(DOMAIN_GROUP_RID_USERS) : user}, Admin::no};
}

TokenContents interactive(const Member &m, std::vector<LUID_AND_ATTRIBUTES> privileges, LUID logon) {
    TokenContents t;
    t.user = m.user;
    t.groups.push_back({SidValue(kWorldAuthority, {0}), kEnabled});
    for (const auto &g : m.groups) t.groups.push_back({g, kEnabled});
    if (m.admin == Admin::full) t.groups.push_back({administrators(), kEnabled | SE_GROUP_OWNER});
    if (m.admin == Admin::filtered) t.groups.push_back({administrators(), SE_GROUP_USE_FOR_DENY_ONLY});
    t.groups.push_back({builtin_domain_sid().with_rid(kUsersAliasRid), kEnabled});
    t.groups.push_back({SidValue(kNtAuthority, {kInteractiveRid}), kEnabled});
    t.groups.push_back({SidValue(kNtAuthority, {kAuthenticatedUsersRid}), kEnabled});
    t.groups.push_back({SidValue(kLocalAuthority, {0}), kEnabled});
    t.groups.push_back({SidValue(kNtAuthority, {kLogonIdsRid, static_cast<DWORD>(logon.HighPart), logon.LowPart}),
                        kEnabled | SE_GROUP_LOGON_ID});
    t.primary_group = m.groups.empty() ? m.user : m.groups.front();
    t.owner = m.admin == Admin::full ? administrators() : m.user;
    t.privileges = std::move(privileges);
    t.logon = logon;
    return t;
}

TokenContents local_system() {
    TokenContents t;
    t.user = SidValue(kNtAuthority, {SECURITY_LOCAL_SYSTEM_RID});
    t.groups = {{administrators(), kOwnerGroup},
                {SidValue(kWorldAuthority, {0}), kEnabled},
                {SidValue(kNtAuthority, {kAuthenticatedUsersRid}), kEnabled}};
    t.primary_group = t.user;
    t.owner = administrators();
    t.privileges = privileges_for_uid(0);
    t.logon = {SYSTEM_LUID, 0};
    return t;
}

// [token]'s groups, primary group and privileges in place of the computed ones.
void apply_overrides(const MachineConfig &config, TokenContents &t) {
    if (size_t n = config.count("token.groups")) {
        t.groups.clear();
        for (size_t i = 0; i < n; ++i) {
            std::string key = "token.groups." + std::to_string(i);
            t.groups.push_back({*SidValue::parse(*config.text(key + ".sid")), static_cast<DWORD>(config.integer(key + ".attributes").value_or(kEnabled))});
        }
    }
    if (auto group = config.text("token.primary_group")) t.primary_group = *SidValue::parse(*group);
    if (auto names = config.texts("token.privileges")) {
        t.privileges.clear();
        for (const auto &name : *names) {
            LUID luid{};
            LookupPrivilegeValueA(nullptr, name.c_str(), &luid);  // the schema admits known names only
            t.privileges.push_back({luid, SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT});
        }
    }
}

}  // namespace

std::shared_ptr<const TokenContents> process_token_contents(pid_t pid, uid_t uid, const std::vector<gid_t> &gids) {
    const Machine *machine = Machine::current();
    if (!machine) return nullptr;
    const MachineConfig &config = machine->config();
    const Directory &directory = machine->directory();
    LUID logon = logon_session_of(pid, uid);
    if (auto session = config.integer("token.logon_session")) logon = {static_cast<DWORD>(*session), 0};
    TokenContents t;
    if (auto user = config.text("token.user")) {
        SidValue sid = *SidValue::parse(*user);
        t = interactive(member_of_directory(directory, sid).value_or(stranger(sid)), privileges_for_uid(uid), logon);
    } else if (uid == 0) {
        t = local_system();
        t.logon = logon;
    } else {
        auto rid = user_rid(uid);
        if (!rid) {
            SetLastError(ERROR_NO_SUCH_USER);
            return nullptr;
        }
        SidValue user = directory.account_domain_sid().with_rid(*rid);
        t = interactive(local_member(directory, user, uid, gids), privileges_for_uid(uid), logon);
    }
    apply_overrides(config, t);
    return std::make_shared<const TokenContents>(std::move(t));
}

std::shared_ptr<const TokenContents> account_token_contents(const SidValue &account) {
    const Machine *machine = Machine::current();
    if (!machine) return nullptr;
    auto member = member_of_directory(machine->directory(), account);
    if (!member) {
        SetLastError(ERROR_LOGON_FAILURE);
        return nullptr;
    }
    auto privileges = privileges_for_uid(member->admin == Admin::full ? 0 : kOrdinaryUid);
    return std::make_shared<const TokenContents>(interactive(*member, std::move(privileges), new_luid()));
}

}  // namespace quarn::win32
