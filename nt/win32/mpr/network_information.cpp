// WNetGetNetworkInformationA: the network providers of this host.  It has
// one, the Windows network of the SMB connections in wnet.cpp.
#include <strings.h>

#include "wnet.h"

namespace {
constexpr char kWindowsNetwork[] = "Microsoft Windows Network";
constexpr DWORD kProviderVersion = 0x00060001;
}  // namespace

extern "C" DWORD WNetGetNetworkInformationA(LPCSTR provider, LPNETINFOSTRUCT info) {
    if (!provider || !info || info->cbStructure < sizeof *info) return ERROR_INVALID_PARAMETER;
    if (strcasecmp(provider, kWindowsNetwork) != 0) return ERROR_BAD_PROVIDER;
    DWORD size = info->cbStructure;
    *info = NETINFOSTRUCT{};
    info->cbStructure = size;
    info->dwProviderVersion = kProviderVersion;
    info->dwStatus = NO_ERROR;
    info->wNetType = WNNC_NET_LANMAN_TYPE;
    return NO_ERROR;
}
