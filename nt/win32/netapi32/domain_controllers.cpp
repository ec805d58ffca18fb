// Locating domain controllers: DsGetDcNameW, NetGetDCName, NetGetAnyDCName.
// A machine locates controllers of its own domain and, in the primary
// domain, of the trusted domains; a controller that does not answer is passed
// over, as the locator passes over one that does not reply to its ping.
#include <algorithm>
#include <cctype>

#include "machine/machine.h"
#include "netapi.h"
#include "netapi32/packed_buffer.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

constexpr ULONG kKnownFlags = DS_FORCE_REDISCOVERY | DS_DIRECTORY_SERVICE_REQUIRED | DS_DIRECTORY_SERVICE_PREFERRED |
                              DS_GC_SERVER_REQUIRED | DS_PDC_REQUIRED | DS_BACKGROUND_ONLY | DS_IP_REQUIRED |
                              DS_KDC_REQUIRED | DS_TIMESERV_REQUIRED | DS_WRITABLE_REQUIRED |
                              DS_GOOD_TIMESERV_PREFERRED | DS_AVOID_SELF | DS_ONLY_LDAP_NEEDED | DS_IS_FLAT_NAME |
                              DS_IS_DNS_NAME | DS_RETURN_DNS_NAME | DS_RETURN_FLAT_NAME;
// Services that only controllers of a directory-service domain offer.
constexpr ULONG kDirectoryOnly = DS_DIRECTORY_SERVICE_REQUIRED | DS_GC_SERVER_REQUIRED | DS_KDC_REQUIRED |
                                 DS_TIMESERV_REQUIRED | DS_IP_REQUIRED | DS_ONLY_LDAP_NEEDED;
constexpr const char *kSite = "Default-First-Site-Name";

enum class NameForm { any, flat, dns };

// The domain `name` as `host` knows it (empty: the host's own), or null.
const Domain *domain_for(const Directory &directory, const Host &host, const std::string &name, NameForm form) {
    if (!host.domain) return nullptr;
    if (name.empty()) return host.domain;
    std::vector<const Domain *> known{host.domain};
    if (host.domain == directory.primary())
        for (const auto &t : directory.trusted()) known.push_back(&t);
    for (const Domain *d : known) {
        bool flat = same_name(d->name, name), dns = !d->dns_name.empty() && same_name(d->dns_name, name);
        if ((form != NameForm::dns && flat) || (form != NameForm::flat && dns)) return d;
    }
    return nullptr;
}

bool answers(const Directory &directory, const std::string &controller) {
    auto host = directory.host(controller);
    return host && host->answers;
}

// The index of the first controller of `domain` that answers and, for index
// 0 only, is the primary; -1 when there is none.
int answering_controller(const Directory &directory, const Domain &domain, bool primary_only) {
    size_t limit = primary_only ? std::min<size_t>(1, domain.controllers.size()) : domain.controllers.size();
    for (size_t i = 0; i < limit; ++i)
        if (answers(directory, domain.controllers[i])) return static_cast<int>(i);
    return -1;
}

// The domain that `server` knows as `name` (null when it knows none), or the error of the server.
NET_API_STATUS domain_asked(LPCWSTR server, LPCWSTR name, LPBYTE *buffer, const Domain *&domain) {
    if (!buffer) return ERROR_INVALID_PARAMETER;
    std::optional<Host> host;
    if (NET_API_STATUS status = net_server(server, host)) return status;
    domain = domain_for(Machine::current()->directory(), *host, utf8_of(name), NameForm::any);
    return NERR_Success;
}

NET_API_STATUS controller_name(const std::string &name, LPBYTE *buffer) {
    *buffer = static_cast<LPBYTE>(pack(0, [&](Packer &p) { p.text("\\\\" + name); }));
    return *buffer ? NERR_Success : ERROR_NOT_ENOUGH_MEMORY;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

void *controller_info(const Domain &domain, int index, ULONG flags) {
    const std::string &controller = domain.controllers[index];
    bool dns = !domain.dns_name.empty() && ((flags & DS_RETURN_DNS_NAME) ||
                                            (!(flags & DS_RETURN_FLAT_NAME) && domain.directory_service));
    ULONG found = index == 0 ? DS_PDC_FLAG | DS_WRITABLE_FLAG : 0;
    if (domain.directory_service)
        found |= DS_DS_FLAG | DS_GC_FLAG | DS_LDAP_FLAG | DS_KDC_FLAG | DS_TIMESERV_FLAG | DS_WRITABLE_FLAG;
    if (dns) found |= DS_DNS_CONTROLLER_FLAG | DS_DNS_DOMAIN_FLAG | DS_DNS_FOREST_FLAG;
    return pack(sizeof(DOMAIN_CONTROLLER_INFOW), [&](Packer &p) {
        auto *info = p.head<DOMAIN_CONTROLLER_INFOW>();
        info->DomainControllerName = p.text("\\\\" + (dns ? lower(controller) + "." + domain.dns_name : controller));
        info->DomainControllerAddress = p.text("\\\\" + controller);
        info->DomainControllerAddressType = DS_NETBIOS_ADDRESS;
        info->DomainGuid = domain.guid;
        info->DomainName = p.text(dns ? domain.dns_name : domain.name);
        info->DnsForestName = domain.dns_name.empty() ? nullptr : p.text(domain.dns_name);
        info->Flags = found;
        info->DcSiteName = domain.directory_service ? p.text(kSite) : nullptr;
        info->ClientSiteName = domain.directory_service ? p.text(kSite) : nullptr;
    });
}

DWORD locate(LPCWSTR computer, LPCWSTR domain_name, ULONG flags, PDOMAIN_CONTROLLER_INFOW *info) {
    if (!info) return ERROR_INVALID_PARAMETER;
    bool both_forms = (flags & DS_IS_FLAT_NAME) && (flags & DS_IS_DNS_NAME);
    bool both_returns = (flags & DS_RETURN_FLAT_NAME) && (flags & DS_RETURN_DNS_NAME);
    if ((flags & ~kKnownFlags) || both_forms || both_returns) return ERROR_INVALID_FLAGS;
    std::optional<Host> host;
    NET_API_STATUS status = net_server(computer, host);
    if (!host) return status == ERROR_BAD_NETPATH ? RPC_S_SERVER_UNAVAILABLE : status;
    if (!host->answers) return RPC_S_SERVER_UNAVAILABLE;
    const Directory &directory = Machine::current()->directory();
    NameForm form = flags & DS_IS_FLAT_NAME ? NameForm::flat : flags & DS_IS_DNS_NAME ? NameForm::dns : NameForm::any;
    const Domain *domain = domain_for(directory, *host, utf8_of(domain_name), form);
    if (!domain || ((flags & kDirectoryOnly) && !domain->directory_service) ||
        ((flags & DS_RETURN_DNS_NAME) && domain->dns_name.empty()))
        return ERROR_NO_SUCH_DOMAIN;
    bool primary_only = (flags & DS_PDC_REQUIRED) || ((flags & DS_WRITABLE_REQUIRED) && !domain->directory_service);
    int index = answering_controller(directory, *domain, primary_only);
    if (index < 0) return ERROR_NO_SUCH_DOMAIN;
    *info = static_cast<PDOMAIN_CONTROLLER_INFOW>(controller_info(*domain, index, flags));
    return *info ? NO_ERROR : ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

DWORD DsGetDcNameW(LPCWSTR computer, LPCWSTR domain, GUID *, LPCWSTR, ULONG flags, PDOMAIN_CONTROLLER_INFOW *info) {
    return locate(computer, domain, flags, info);
}

NET_API_STATUS NetGetDCName(LPCWSTR server, LPCWSTR domain_name, LPBYTE *buffer) {
    const Domain *domain = nullptr;
    if (NET_API_STATUS status = domain_asked(server, domain_name, buffer, domain)) return status;
    if (!domain || answering_controller(Machine::current()->directory(), *domain, true) != 0) return NERR_DCNotFound;
    return controller_name(domain->controllers[0], buffer);
}

NET_API_STATUS NetGetAnyDCName(LPCWSTR server, LPCWSTR domain_name, LPBYTE *buffer) {
    const Domain *domain = nullptr;
    if (NET_API_STATUS status = domain_asked(server, domain_name, buffer, domain)) return status;
    if (!domain) return ERROR_NO_SUCH_DOMAIN;
    int index = answering_controller(Machine::current()->directory(), *domain, false);
    if (index < 0) return ERROR_NO_LOGON_SERVERS;
    return controller_name(domain->controllers[index], buffer);
}

}  // extern "C"
