// Network-management buffers, NetUserGetInfo and NetServerEnum.
#include "netapi.h"

#include <algorithm>
#include <cstdlib>

#include "machine/dos_paths.h"
#include "machine/local_accounts.h"
#include "machine/machine.h"
#include "netapi32/packed_buffer.h"
#include "winnls.h"
#include "wnet.h"

namespace quarn::win32 {
namespace {

constexpr DWORD DOMAIN_GROUP_RID_ADMINS = 512;
constexpr size_t kLogonHoursBytes = 21;  // one bit per hour of the week

struct UserRecord {
    std::string name;
    std::string full_name;
    std::string comment;
    std::string home_dir;
    DWORD rid = 0;
    DWORD primary_group = 0;
    DWORD privilege = USER_PRIV_USER;
};

std::optional<UserRecord> local_user(const Machine &machine, const std::string &name) {
    auto user = local_user_named(name);
    if (!user) return std::nullopt;
    auto rid = user_rid(user->uid);
    auto group = group_rid(user->gid);
    if (!rid || !group) return std::nullopt;
    UserRecord r{user->name, full_name_of(*user), "", unix_to_dos_path(machine, user->home).value_or(""), *rid, *group};
    if (user->uid == 0) r.privilege = USER_PRIV_ADMIN;
    return r;
}

std::optional<UserRecord> domain_user(const Domain &domain, const std::string &name) {
    const DomainAccount *a = domain.account_named(name);
    if (!a || a->use != SidTypeUser) return std::nullopt;
    UserRecord r{a->name, a->full_name, a->comment, a->home_dir, a->rid, a->primary_group};
    if (const DomainAccount *admins = domain.account_with_rid(DOMAIN_GROUP_RID_ADMINS))
        if (std::any_of(admins->members.begin(), admins->members.end(),
                        [&](const std::string &m) { return same_name(m, a->name); }))
            r.privilege = USER_PRIV_ADMIN;
    return r;
}

void *user_info_3(const UserRecord &u) {
    return pack(sizeof(USER_INFO_3), [&u](Packer &p) {
        auto *info = p.head<USER_INFO_3>();
        info->usri3_name = p.text(u.name);
        info->usri3_priv = u.privilege;
        info->usri3_home_dir = p.text(u.home_dir);
        info->usri3_comment = p.text(u.comment);
        info->usri3_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD;
        info->usri3_script_path = p.text("");
        info->usri3_full_name = p.text(u.full_name);
        info->usri3_usr_comment = p.text("");
        info->usri3_parms = p.text("");
        info->usri3_workstations = p.text("");
        info->usri3_acct_expires = TIMEQ_FOREVER;
        info->usri3_max_storage = USER_MAXSTORAGE_UNLIMITED;
        info->usri3_units_per_week = UNITS_PER_WEEK;
        info->usri3_logon_hours = p.filled(kLogonHoursBytes, 0xFF);
        info->usri3_logon_server = p.text("\\\\*");
        info->usri3_user_id = u.rid;
        info->usri3_primary_group_id = u.primary_group;
        info->usri3_profile = p.text("");
        info->usri3_home_dir_drive = p.text("");
    });
}

struct BrowseEntry {
    std::string name;
    DWORD type;
};

constexpr DWORD kMemberType = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT;

// The machines of the domain or workgroup `name`, sorted; nullopt when there are none.
std::optional<std::vector<BrowseEntry>> browse_list(const Directory &directory, const std::string &name) {
    std::vector<BrowseEntry> out;
    if (const Domain *d = directory.domain_named(name))
        for (size_t i = 0; i < d->controllers.size(); ++i)
            out.push_back({d->controllers[i], kMemberType | SV_TYPE_SERVER_NT |
                                                   (i == 0 ? SV_TYPE_DOMAIN_CTRL : SV_TYPE_DOMAIN_BAKCTRL)});
    for (const auto &m : directory.machines())
        if (same_name(m.domain_name, name)) out.push_back({m.name, kMemberType});
    if (same_name(directory.primary_name(), name)) out.push_back({directory.computer_name(), kMemberType});
    if (out.empty()) return std::nullopt;
    std::sort(out.begin(), out.end(), [](const BrowseEntry &a, const BrowseEntry &b) { return a.name < b.name; });
    return out;
}

}  // namespace

NET_API_STATUS net_server(LPCWSTR server, std::optional<Host> &host) {
    const Machine *machine = Machine::current();
    if (!machine) return GetLastError();
    host = machine->directory().host(utf8_of(server));
    if (!host) return ERROR_BAD_NETPATH;
    switch (reach(*host)) {
    case Reach::ok:
        return NERR_Success;
    case Reach::unreachable:
        return RPC_S_SERVER_UNAVAILABLE;
    case Reach::denied:
        break;
    }
    return ERROR_LOGON_FAILURE;
}

}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

NET_API_STATUS NetApiBufferAllocate(DWORD bytes, LPVOID *buffer) {
    if (!buffer) return ERROR_INVALID_PARAMETER;
    *buffer = std::malloc(std::max<DWORD>(bytes, 1));
    return *buffer ? NERR_Success : ERROR_NOT_ENOUGH_MEMORY;
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    std::free(buffer);
    return NERR_Success;
}

NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE *buffer) {
    if (!user || !buffer) return ERROR_INVALID_PARAMETER;
    if (level != 3) return ERROR_INVALID_LEVEL;
    std::optional<Host> host;
    if (NET_API_STATUS status = net_server(server, host)) return status;
    std::string name = utf8_of(user);
    std::optional<UserRecord> record;
    if (host->role == Host::Role::this_computer)
        record = local_user(*Machine::current(), name);
    else if (host->role == Host::Role::controller)
        record = domain_user(*host->domain, name);
    if (!record) return NERR_UserNotFound;
    *buffer = static_cast<LPBYTE>(user_info_3(*record));
    return *buffer ? NERR_Success : ERROR_NOT_ENOUGH_MEMORY;
}

NET_API_STATUS NetServerEnum(LPCWSTR server, DWORD level, LPBYTE *buffer, DWORD preferred, LPDWORD read,
                             LPDWORD total, DWORD type, LPCWSTR domain, LPDWORD resume) {
    if (!buffer || !read || !total) return ERROR_INVALID_PARAMETER;
    if (level != 100) return ERROR_INVALID_LEVEL;
    std::optional<Host> host;
    if (NET_API_STATUS status = net_server(server, host)) return status;
    const Directory &directory = Machine::current()->directory();
    auto all = browse_list(directory, domain ? utf8_of(domain) : host->domain_name);
    if (!all) return ERROR_NO_BROWSER_SERVERS_FOUND;
    std::vector<BrowseEntry> entries;
    std::copy_if(all->begin(), all->end(), std::back_inserter(entries),
                 [type](const BrowseEntry &e) { return (e.type & type) != 0; });
    size_t first = resume ? *resume : 0, end = first, bytes = 0;
    while (end < entries.size()) {
        size_t entry = sizeof(SERVER_INFO_100) + (utf8_to_utf16(entries[end].name).size() + 1) * sizeof(WCHAR);
        if (end > first && bytes + entry > preferred) break;
        bytes += entry;
        ++end;
    }
    *read = static_cast<DWORD>(end - first);
    *total = static_cast<DWORD>(entries.size() > first ? entries.size() - first : 0);
    *buffer = static_cast<LPBYTE>(pack(*read * sizeof(SERVER_INFO_100), [&](Packer &p) {
        auto *out = p.head<SERVER_INFO_100>();
        for (size_t i = first; i < end; ++i) out[i - first] = {PLATFORM_ID_NT, p.text(entries[i].name)};
    }));
    if (!*buffer) return ERROR_NOT_ENOUGH_MEMORY;
    bool more = end < entries.size();
    if (resume) *resume = more ? static_cast<DWORD>(end) : 0;
    return more ? ERROR_MORE_DATA : NERR_Success;
}

}  // extern "C"
