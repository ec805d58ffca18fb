// Network credentials: what a server of the product needs of a user who is
// not logged on here, as a Unix server would read it from passwd and group:
// the user's qualified name and SID, the primary group and every group, the
// domain's groups after domain group mapping, then this machine's local
// groups.  The record is asked of the server that holds the account: this
// machine, a controller of the user's domain (over a null session when it
// refuses the caller), or the domain's primary controller when the one
// asked does not know the user.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "identity/domains.h"
#include "identity/group_lists.h"
#include "identity/identity.h"
#include "identity/ipc_session.h"
#include "identity/user_info.h"
#include "nt.h"
#include "winnls.h"

namespace {

constexpr DWORD kFirstPreferredSize = 1024;
constexpr DWORD kComputerNameChars = 65;

struct FreeDeleter {
    void operator()(void *block) const { std::free(block); }
};
using NetBuffer = std::unique_ptr<BYTE, NetBufferFree>;

// A malloc'd copy of a wide text, or null.
WCHAR *wide_copy(const std::u16string &text) {
    auto *copy = static_cast<WCHAR *>(std::malloc((text.size() + 1) * sizeof(WCHAR)));
    if (copy) std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    return copy;
}

PSID sid_copy(PSID sid) {
    DWORD length = GetLengthSid(sid);
    PSID copy = std::malloc(length);
    if (copy && !CopySid(length, copy, sid)) {
        std::free(copy);
        return nullptr;
    }
    return copy;
}

bool widen(const char *text, WCHAR *out, int size) { return MultiByteToWideChar(CP_ACP, 0, text, -1, out, size) > 0; }

bool same_text(const WCHAR *a, const WCHAR *b) {
    size_t n = std::char_traits<WCHAR>::length(a), m = std::char_traits<WCHAR>::length(b);
    return n == m && _wcsnicmp(a, b, n) == 0;
}

// The server asked for the user: null for this machine, else "\\NAME".
class Server {
public:
    ~Server() { release(); }
    LPCWSTR name() const { return name_; }
    void use(LPWSTR controller) {
        release();
        name_ = controller;
    }
    // Connects over a null session, kept until the server changes or the call ends.
    void open_null_session() {
        if (!name_) return;
        session_ = std::make_unique<AnonymousIpcSession>();
        session_->connect(name_);
    }

private:
    void release() {
        session_.reset();
        NetApiBufferFree(name_);
        name_ = nullptr;
    }
    LPWSTR name_ = nullptr;
    std::unique_ptr<AnonymousIpcSession> session_;
};

NET_API_STATUS ask_user(Server &server, LPCWSTR account, NetBuffer &info) {
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(server.name(), account, 3, &buffer);
    if (server.name() && (status == ERROR_LOGON_FAILURE || status == RPC_S_SERVER_UNAVAILABLE)) {
        server.open_null_session();
        status = NetUserGetInfo(server.name(), account, 3, &buffer);
    }
    info.reset(buffer);
    return status;
}

// The names a group list call returns, its preferred size doubled from
// *size while the answer does not fit; false on any other failure.
template <typename Info, typename Call>
bool list_names(Call call, LPWSTR Info::*field, DWORD *size, std::vector<std::u16string> &names) {
    for (;;) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        NET_API_STATUS status = call(&buffer, *size, &read, &total);
        NetBuffer owned(buffer);
        if (status == NERR_BufTooSmall || status == ERROR_MORE_DATA) {
            if (*size > 0x7FFFFFFFu) return false;
            *size *= 2;
            continue;
        }
        if (status != NERR_Success || (read && !buffer)) return false;
        const auto *entries = reinterpret_cast<const Info *>(buffer);
        for (DWORD i = 0; i < read; ++i) names.emplace_back(entries[i].*field ? entries[i].*field : u"");
        return true;
    }
}

// One group of the record: DOMAIN\name and the SID, as `server` resolves
// `listed` (a bare or qualified name); mapped when `map` is set.
bool add_group(LPCWSTR server, const std::u16string &listed, bool map, nt_credentials &record) {
    BYTE sid[kSidSize];
    WCHAR domain[kDomainNameSize], name[kAccountNameSize];
    DWORD sid_size = sizeof sid, domain_size = kDomainNameSize;
    SID_NAME_USE use;
    if (!LookupAccountNameW(server, listed.c_str(), sid, &sid_size, domain, &domain_size, &use) || !nt_is_group_use(use))
        return false;
    size_t slash = listed.rfind(u'\\');
    std::u16string qualified = std::u16string(domain) + u'\\' + listed.substr(slash == std::u16string::npos ? 0 : slash + 1);
    PSID chosen = sid;
    if (map) {
        PSID mapped = nt_map_domain_group_sid(sid);
        if (!EqualSid(mapped, sid)) {
            DWORD name_size = kAccountNameSize;
            domain_size = kDomainNameSize;
            if (!LookupAccountSidW(nullptr, mapped, name, &name_size, domain, &domain_size, &use) ||
                !nt_is_group_use(use))
                return false;
            qualified = std::u16string(domain) + u'\\' + name;
            chosen = mapped;
        }
    }
    int i = record.group_count;
    record.group_names[i] = wide_copy(qualified);
    record.group_sids[i] = sid_copy(chosen);
    if (record.group_names[i] || record.group_sids[i]) record.group_count = i + 1;  // freed with the record
    return record.group_names[i] && record.group_sids[i];
}

// Fills `record` for the user `name`; false on any failure.
bool collect(const char *name, nt_credentials &record) {
    BYTE sid[kSidSize];
    char domain[kDomainNameSize], qualified[kQualifiedNameSize];
    int use = 0;
    if (!nt_lookup_account_name_server(nullptr, name, sid, sizeof sid, domain, sizeof domain, &use, qualified) ||
        use != SidTypeUser)
        return false;
    PSID raw_domain_sid = nullptr;
    if (ntx_get_sid_domain(sid, &raw_domain_sid) != 0) return false;
    std::unique_ptr<void, FreeDeleter> domain_sid(raw_domain_sid);
    WCHAR computer[kComputerNameChars + 1], domain_w[kDomainNameSize], account[kAccountNameSize];
    DWORD computer_size = sizeof computer / sizeof computer[0];
    if (!GetComputerNameW(computer, &computer_size)) return false;
    const char *slash = std::strchr(name, '\\');
    if (!widen(domain, domain_w, kDomainNameSize) || !widen(slash ? slash + 1 : name, account, kAccountNameSize))
        return false;

    const bool member = ntx_is_domain_member();
    Server server;
    if (member && !ntx_is_account_domain_sid(domain_sid.get())) {
        LPWSTR controller = nullptr;
        if (ntx_get_any_dc_w(domain_w, &controller) != 0) return false;
        server.use(controller);
    }
    NetBuffer info;
    NET_API_STATUS status = ask_user(server, account, info);
    if (status == NERR_UserNotFound && !same_text(domain_w, computer)) {
        LPBYTE primary = nullptr;
        server.use(nullptr);
        if (NetGetDCName(nullptr, domain_w, &primary) != NERR_Success) return false;
        server.use(reinterpret_cast<LPWSTR>(primary));
        status = ask_user(server, account, info);
    }
    if (status != NERR_Success || !info) return false;
    const auto *user = reinterpret_cast<const USER_INFO_3 *>(info.get());

    record.user_name = wide_copy(std::u16string(domain_w) + u'\\' + (user->usri3_name ? user->usri3_name : u""));
    record.user_sid = sid_copy(sid);
    std::unique_ptr<void, FreeDeleter> primary(nt_sid_append_rid(domain_sid.get(), user->usri3_primary_group_id));
    if (!record.user_name || !record.user_sid || !primary) return false;
    record.primary_group_sid = sid_copy(nt_map_domain_group_sid(primary.get()));
    if (!record.primary_group_sid) return false;

    std::vector<std::u16string> global, local;
    DWORD size = kFirstPreferredSize;
    auto global_call = [&](LPBYTE *buffer, DWORD preferred, LPDWORD read, LPDWORD total) {
        return NetUserGetGroups(server.name(), account, 0, buffer, preferred, read, total);
    };
    if (!list_names(global_call, &GROUP_USERS_INFO_0::grui0_name, &size, global)) return false;
    if (!member || same_text(domain_w, computer)) {
        auto local_call = [&](LPBYTE *buffer, DWORD preferred, LPDWORD read, LPDWORD total) {
            return NetUserGetLocalGroups(server.name(), account, 0, LG_INCLUDE_INDIRECT, buffer, preferred, read, total);
        };
        if (!list_names(local_call, &LOCALGROUP_USERS_INFO_0::lgrui0_name, &size, local)) return false;
    }
    size_t count = global.size() + local.size();
    if (count == 0) return true;
    record.group_names = static_cast<WCHAR **>(std::calloc(count, sizeof(WCHAR *)));
    record.group_sids = static_cast<PSID *>(std::calloc(count, sizeof(PSID)));
    if (!record.group_names || !record.group_sids) return false;
    for (const auto &g : global)
        if (!add_group(server.name(), g, true, record)) return false;
    for (const auto &g : local)
        if (!add_group(server.name(), g, false, record)) return false;
    return true;
}

}  // namespace

extern "C" NT_API int nt_user_get_credentials(const char *name, nt_credentials **record_out) {
    if (!record_out) return -1;
    *record_out = nullptr;
    if (!name) return -1;
    auto *record = static_cast<nt_credentials *>(std::calloc(1, sizeof(nt_credentials)));
    if (!record) return -1;
    if (!collect(name, *record)) {
        nt_user_free_credentials(record);
        return -1;
    }
    *record_out = record;
    return 0;
}

extern "C" NT_API int nt_user_free_credentials(nt_credentials *record) {
    if (!record) return 0;
    for (int i = 0; i < record->group_count; ++i) {
        if (record->group_names) std::free(record->group_names[i]);
        if (record->group_sids) std::free(record->group_sids[i]);
    }
    std::free(record->group_names);
    std::free(record->group_sids);
    std::free(record->user_name);
    std::free(record->user_sid);
    std::free(record->primary_group_sid);
    std::free(record);
    return 0;
}
