// Groups in network management: NetGroupGetInfo (level 1: a global group's
// name and comment), NetUserGetGroups (level 0: a user's global groups) and
// NetUserGetLocalGroups (level 0: the local groups of the answering machine
// that hold the user, directly or through a group).  Memberships are those of
// the token an interactive logon of the user would get: a controller answers
// for its domain's users and groups from machine.toml, this machine for its
// Linux accounts, whose groups are local groups.  Local group names come
// qualified (DOMAIN\name), since Linux may have a group whose name is also a
// builtin one ("users").
#include <algorithm>

#include "machine/account_database.h"
#include "machine/local_accounts.h"
#include "machine/machine.h"
#include "netapi.h"
#include "netapi32/packed_buffer.h"
#include "advapi32/token_object.h"
#include "advapi32/well_known_sids.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

// The user `name` as the machine `host` knows it: its SID, or nullopt.
std::optional<SidValue> user_on(const Directory &directory, const Host &host, const std::string &name) {
    auto match = AccountDatabase(directory, host).find_name(name);
    if (!match || match->use != SidTypeUser) return std::nullopt;
    return match->sid;
}

// The names that `host` gives the token groups of `user` for which `wanted`
// holds, in token order; nullopt when the user has no token there.
template <typename Wanted>
std::optional<std::vector<std::string>> group_names(const Directory &directory, const Host &host, const SidValue &user,
                                                    bool qualified, Wanted wanted) {
    auto token = account_token_contents(user);
    if (!token) return std::nullopt;
    AccountDatabase database(directory, host);
    std::vector<std::string> names;
    for (const auto &g : token->groups) {
        if (g.sid.count() < 2 || !wanted(g.sid.parent())) continue;
        auto match = database.find_sid(g.sid);
        if (!match) continue;
        names.push_back(qualified ? match->domain + "\\" + match->name : match->name);
    }
    return names;
}

// Level 0 entries (one name each) of `names`, as many as `preferred` bytes
// allow: ERROR_MORE_DATA when some are left out.
template <typename Info>
NET_API_STATUS name_list(const std::vector<std::string> &names, DWORD preferred, LPBYTE *buffer, LPDWORD read,
                         LPDWORD total) {
    size_t count = 0, bytes = 0;
    while (count < names.size()) {
        size_t entry = sizeof(Info) + (utf8_to_utf16(names[count]).size() + 1) * sizeof(WCHAR);
        if (preferred != MAX_PREFERRED_LENGTH && bytes + entry > preferred) break;
        bytes += entry;
        ++count;
    }
    *buffer = static_cast<LPBYTE>(pack(count * sizeof(Info), [&](Packer &p) {
        auto *out = p.head<Info>();
        for (size_t i = 0; i < count; ++i) out[i] = Info{p.text(names[i])};
    }));
    if (!*buffer) return ERROR_NOT_ENOUGH_MEMORY;
    *read = static_cast<DWORD>(count);
    *total = static_cast<DWORD>(names.size());
    return count < names.size() ? ERROR_MORE_DATA : NERR_Success;
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

NET_API_STATUS NetGroupGetInfo(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE *buffer) {
    if (!group || !buffer) return ERROR_INVALID_PARAMETER;
    if (level != 1) return ERROR_INVALID_LEVEL;
    std::optional<Host> host;
    if (NET_API_STATUS status = net_server(server, host)) return status;
    std::string name = utf8_of(group), found, comment;
    if (host->role == Host::Role::controller) {
        const DomainAccount *a = host->domain->account_named(name);
        if (!a || a->use != SidTypeGroup) return NERR_GroupNotFound;
        found = a->name;
        comment = a->comment;
    } else if (host->role == Host::Role::this_computer) {
        auto local = local_group_named(name);
        if (!local) return NERR_GroupNotFound;
        found = local->name;
    } else {
        return NERR_GroupNotFound;
    }
    *buffer = static_cast<LPBYTE>(pack(sizeof(GROUP_INFO_1), [&](Packer &p) {
        auto *info = p.head<GROUP_INFO_1>();
        info->grpi1_name = p.text(found);
        info->grpi1_comment = p.text(comment);
    }));
    return *buffer ? NERR_Success : ERROR_NOT_ENOUGH_MEMORY;
}

NET_API_STATUS NetUserGetGroups(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE *buffer, DWORD preferred,
                                LPDWORD read, LPDWORD total) {
    if (!user || !buffer || !read || !total) return ERROR_INVALID_PARAMETER;
    if (level != 0) return ERROR_INVALID_LEVEL;
    std::optional<Host> host;
    if (NET_API_STATUS status = net_server(server, host)) return status;
    const Directory &directory = Machine::current()->directory();
    auto sid = user_on(directory, *host, utf8_of(user));
    if (!sid) return NERR_UserNotFound;
    // A controller's global groups are its domain's; this machine has none of its own.
    SidValue domain = host->role == Host::Role::controller ? host->domain->sid : SidValue();
    auto names = group_names(directory, *host, *sid, false,
                             [&](const SidValue &parent) { return !domain.empty() && parent == domain; });
    if (!names) return NERR_UserNotFound;
    return name_list<GROUP_USERS_INFO_0>(*names, preferred, buffer, read, total);
}

NET_API_STATUS NetUserGetLocalGroups(LPCWSTR server, LPCWSTR user, DWORD level, DWORD flags, LPBYTE *buffer,
                                     DWORD preferred, LPDWORD read, LPDWORD total) {
    if (!user || !buffer || !read || !total || (flags & ~LG_INCLUDE_INDIRECT)) return ERROR_INVALID_PARAMETER;
    if (level != 0) return ERROR_INVALID_LEVEL;
    std::optional<Host> host;
    if (NET_API_STATUS status = net_server(server, host)) return status;
    const Directory &directory = Machine::current()->directory();
    auto sid = user_on(directory, *host, utf8_of(user));
    if (!sid) return NERR_UserNotFound;
    // The builtin groups, and on this machine its own (Linux's) groups.
    SidValue own = host->role == Host::Role::this_computer ? directory.account_domain_sid() : SidValue();
    auto names = group_names(directory, *host, *sid, true, [&](const SidValue &parent) {
        return parent == builtin_domain_sid() || (!own.empty() && parent == own);
    });
    if (!names) return NERR_UserNotFound;
    return name_list<LOCALGROUP_USERS_INFO_0>(*names, preferred, buffer, read, total);
}

}  // extern "C"
