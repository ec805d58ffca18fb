// WNetAddConnection2 / WNetCancelConnection2 over a per-process table of
// IPC$ connections, and the reach test that the remote calls share.
#include "wnet.h"

#include <mutex>
#include <set>

#include "machine/machine.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

struct Connections {
    std::mutex mutex;
    std::set<std::string> servers;  // upper case: each holds a connection to \\SERVER\IPC$
};

Connections &connections() {
    static auto *instance = new Connections;  // used until the process ends
    return *instance;
}

bool connected(const std::string &server) {
    auto &c = connections();
    std::lock_guard lock(c.mutex);
    return c.servers.count(server) != 0;
}

struct ShareName {
    std::string server;
    std::string share;
};

// "\\SERVER\SHARE" split into its parts, or nullopt.
std::optional<ShareName> split_unc(const std::string &name) {
    if (name.size() < 3 || name[0] != '\\' || name[1] != '\\') return std::nullopt;
    auto slash = name.find('\\', 2);
    if (slash == std::string::npos || slash == 2 || name.find('\\', slash + 1) != std::string::npos) return std::nullopt;
    return ShareName{name.substr(2, slash - 2), name.substr(slash + 1)};
}

template <typename Resource>
DWORD add_connection(const Resource *resource) {
    if (!resource || !resource->lpRemoteName) return ERROR_INVALID_PARAMETER;
    if (resource->lpLocalName && *resource->lpLocalName) return ERROR_BAD_DEVICE;
    const Machine *machine = Machine::current();
    if (!machine) return GetLastError();
    auto unc = split_unc(utf8_of(resource->lpRemoteName));
    if (!unc) return ERROR_BAD_NET_NAME;
    auto host = machine->directory().host(unc->server);
    if (!host || !host->answers) return ERROR_BAD_NETPATH;
    if (!same_name(unc->share, "IPC$")) return ERROR_BAD_NET_NAME;
    auto &c = connections();
    std::lock_guard lock(c.mutex);
    c.servers.insert(host->name);
    return NO_ERROR;
}

template <typename Char>
DWORD cancel_connection(const Char *name) {
    if (!name) return ERROR_INVALID_PARAMETER;
    auto unc = split_unc(utf8_of(name));
    if (!unc || !same_name(unc->share, "IPC$")) return ERROR_NOT_CONNECTED;
    std::string server = unc->server;
    for (char &ch : server) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    auto &c = connections();
    std::lock_guard lock(c.mutex);
    return c.servers.erase(server) ? NO_ERROR : ERROR_NOT_CONNECTED;
}

}  // namespace

Reach reach(const Host &host) {
    if (host.role == Host::Role::this_computer) return Reach::ok;
    if (!host.answers) return Reach::unreachable;
    if (host.session_required && !connected(host.name)) return Reach::denied;
    return Reach::ok;
}

}  // namespace quarn::win32

extern "C" {

DWORD WNetAddConnection2A(LPNETRESOURCEA resource, LPCSTR, LPCSTR, DWORD) {
    return quarn::win32::add_connection(resource);
}

DWORD WNetAddConnection2W(LPNETRESOURCEW resource, LPCWSTR, LPCWSTR, DWORD) {
    return quarn::win32::add_connection(resource);
}

DWORD WNetCancelConnection2A(LPCSTR name, DWORD, BOOL) { return quarn::win32::cancel_connection(name); }

DWORD WNetCancelConnection2W(LPCWSTR name, DWORD, BOOL) { return quarn::win32::cancel_connection(name); }

}  // extern "C"
