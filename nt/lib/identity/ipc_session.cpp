// Anonymous IPC$ connections: global scope, any resource type, a share that
// can be connected to, an empty password and user name; cancelled with the
// profile updated and open files forced closed.
#include "identity/ipc_session.h"

namespace {

template <typename Resource, typename Text>
Resource ipc_share(Text *remote) {
    Resource resource{};
    resource.dwScope = RESOURCE_GLOBALNET;
    resource.dwType = RESOURCETYPE_ANY;
    resource.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
    resource.dwUsage = RESOURCEUSAGE_CONNECTABLE;
    resource.lpRemoteName = remote;
    return resource;
}

}  // namespace

AnonymousIpcSession::~AnonymousIpcSession() {
    if (!wide_.empty()) WNetCancelConnection2W(wide_.c_str(), CONNECT_UPDATE_PROFILE, TRUE);
    if (!narrow_.empty()) WNetCancelConnection2A(narrow_.c_str(), CONNECT_UPDATE_PROFILE, TRUE);
}

bool AnonymousIpcSession::connect(LPCWSTR server) {
    std::u16string remote = std::u16string(server) + u"\\IPC$";
    auto resource = ipc_share<NETRESOURCEW>(remote.data());
    if (WNetAddConnection2W(&resource, u"", u"", 0) != NO_ERROR) return false;
    wide_ = std::move(remote);
    return true;
}

bool AnonymousIpcSession::connect(const char *name) {
    std::string remote = "\\\\" + std::string(name) + "\\IPC$";
    auto resource = ipc_share<NETRESOURCEA>(remote.data());
    if (WNetAddConnection2A(&resource, "", "", 0) != NO_ERROR) return false;
    narrow_ = std::move(remote);
    return true;
}
