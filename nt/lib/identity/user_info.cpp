// The user information behind passwd records: NetUserGetInfo level 3 on this
// machine, or on a controller of the user's domain, retried over a null
// session when the controller refuses the caller, and then on the domain's
// backup controllers while the ones asked do not know the user.
#include <cstring>
#include <string>

#include "identity/domains.h"
#include "identity/identity.h"
#include "identity/ipc_session.h"
#include "identity/user_info.h"
#include "winnls.h"

namespace {

constexpr DWORD kUserInfoLevel = 3;
constexpr DWORD kServerListLevel = 100;
constexpr DWORD kServerListPreferredSize = 1000;

bool widen(const char *text, WCHAR *out, int size) {
    return MultiByteToWideChar(CP_ACP, 0, text, -1, out, size) > 0;
}

// One server's answer; a named server that refuses the caller is asked again
// over a null session, which is cancelled whatever the answer.
NET_API_STATUS ask(LPCWSTR server, LPCWSTR user, UserInformation &info) {
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(server, user, kUserInfoLevel, &buffer);
    if (server && (status == ERROR_LOGON_FAILURE || status == RPC_S_SERVER_UNAVAILABLE)) {
        AnonymousIpcSession session;
        session.connect(server);
        status = NetUserGetInfo(server, user, kUserInfoLevel, &buffer);
    }
    if (status == NERR_Success) info.reset(reinterpret_cast<USER_INFO_3 *>(buffer));
    return status;
}

// The domain's backup controllers in the order the browse list gives them,
// until one of them answers other than "no such user".
void ask_backup_controllers(LPCWSTR domain, LPCWSTR user, UserInformation &info) {
    DWORD resume = 0;
    do {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        NET_API_STATUS status = NetServerEnum(nullptr, kServerListLevel, &buffer, kServerListPreferredSize, &read,
                                              &total, SV_TYPE_DOMAIN_BAKCTRL, domain, &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA) return;
        std::unique_ptr<BYTE, NetBufferFree> list(buffer);
        const auto *servers = reinterpret_cast<const SERVER_INFO_100 *>(buffer);
        for (DWORD i = 0; i < read; ++i) {
            std::u16string name = servers[i].sv100_name;
            if (name.empty() || name[0] != u'\\') name = u"\\\\" + name;
            if (ask(name.c_str(), user, info) != NERR_UserNotFound) return;
        }
    } while (resume != 0);
}

}  // namespace

UserInformation nt_query_user_information(PSID domain_sid, const char *account, const char *domain) {
    UserInformation info;
    const char *bare = std::strchr(account, '\\');
    WCHAR user_w[kAccountNameSize], domain_w[kDomainNameSize];
    if (!widen(bare ? bare + 1 : account, user_w, kAccountNameSize) || !widen(domain, domain_w, kDomainNameSize))
        return info;
    if (!ntx_is_domain_member() || ntx_is_account_domain_sid(domain_sid)) {
        ask(nullptr, user_w, info);
        return info;
    }
    LPWSTR controller = nullptr;
    if (ntx_get_any_dc_w(domain_w, &controller) == 0) {
        NET_API_STATUS status = ask(controller, user_w, info);
        bool named = controller != nullptr;
        NetApiBufferFree(controller);
        if (!named || (status != NERR_UserNotFound && status != NERR_DCNotFound)) return info;
    }
    ask_backup_controllers(domain_w, user_w, info);
    return info;
}
