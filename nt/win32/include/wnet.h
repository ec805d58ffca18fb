// Network connections (WNet) and the reach of other machines.  Connections
// are kept per process: a null session to \\SERVER\IPC$ succeeds for machines
// that answer, and lets calls reach a machine whose machine.toml entry says
// session_required.  Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include "machine/directory.h"
#include "winbase.h"

extern "C" {

constexpr DWORD RESOURCE_CONNECTED = 0x00000001;
constexpr DWORD RESOURCE_GLOBALNET = 0x00000002;
constexpr DWORD RESOURCE_REMEMBERED = 0x00000003;
constexpr DWORD RESOURCETYPE_ANY = 0x00000000;
constexpr DWORD RESOURCETYPE_DISK = 0x00000001;
constexpr DWORD RESOURCETYPE_PRINT = 0x00000002;
constexpr DWORD RESOURCEDISPLAYTYPE_GENERIC = 0x00000000;
constexpr DWORD RESOURCEDISPLAYTYPE_SHARE = 0x00000003;
constexpr DWORD RESOURCEUSAGE_CONNECTABLE = 0x00000001;
constexpr DWORD CONNECT_UPDATE_PROFILE = 0x00000001;

typedef struct _NETRESOURCEA {
    DWORD dwScope;
    DWORD dwType;
    DWORD dwDisplayType;
    DWORD dwUsage;
    LPSTR lpLocalName;
    LPSTR lpRemoteName;
    LPSTR lpComment;
    LPSTR lpProvider;
} NETRESOURCEA, *LPNETRESOURCEA;

typedef struct _NETRESOURCEW {
    DWORD dwScope;
    DWORD dwType;
    DWORD dwDisplayType;
    DWORD dwUsage;
    LPWSTR lpLocalName;
    LPWSTR lpRemoteName;
    LPWSTR lpComment;
    LPWSTR lpProvider;
} NETRESOURCEW, *LPNETRESOURCEW;

// Only connections to a server's IPC$ share without a local device are kept:
// ERROR_BAD_NETPATH for a machine that is unknown or does not answer,
// ERROR_BAD_NET_NAME for another share, ERROR_BAD_DEVICE for a local name.
// Connecting twice is one connection.
DWORD WNetAddConnection2A(LPNETRESOURCEA resource, LPCSTR password, LPCSTR user, DWORD flags);
DWORD WNetAddConnection2W(LPNETRESOURCEW resource, LPCWSTR password, LPCWSTR user, DWORD flags);
// ERROR_NOT_CONNECTED when this process holds no such connection.
DWORD WNetCancelConnection2A(LPCSTR name, DWORD flags, BOOL force);
DWORD WNetCancelConnection2W(LPCWSTR name, DWORD flags, BOOL force);

// What a network provider is: "Microsoft Windows Network" (the SMB
// connections above, type WNNC_NET_LANMAN) is the one this host has; any
// other name fails with ERROR_BAD_PROVIDER.
typedef struct _NETINFOSTRUCT {
    DWORD cbStructure;
    DWORD dwProviderVersion;
    DWORD dwStatus;
    DWORD dwCharacteristics;
    ULONG_PTR dwHandle;
    WORD wNetType;
    DWORD dwPrinters;
    DWORD dwDrives;
} NETINFOSTRUCT, *LPNETINFOSTRUCT;
constexpr WORD WNNC_NET_LANMAN_TYPE = 0x0002;  // WNNC_NET_LANMAN >> 16
DWORD WNetGetNetworkInformationA(LPCSTR provider, LPNETINFOSTRUCT info);

}  // extern "C"

namespace quarn::win32 {

// Whether a call of this process can reach `host` now.
enum class Reach { ok, unreachable, denied };
Reach reach(const Host &host);

}  // namespace quarn::win32
