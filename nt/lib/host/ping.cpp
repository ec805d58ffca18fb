// ntx_ping_host: whether a host answers one echo request within a second.
// The name is resolved first; a name that does not resolve sends nothing.
#include <cstring>

#include "frame/frame.h"
#include "frame/trace.h"
#include "ntx.h"
#include "winsock.h"

namespace {

constexpr WORD kRequestSize = 400;
constexpr DWORD kReplySize4 = 11984;
constexpr DWORD kReplySize6 = 456;
constexpr DWORD kTimeoutMs = 1000;
constexpr UCHAR kHopLimit = 255;

int volatile sockets_started = 0;

void start_sockets() {
    if (__atomic_load_n(&sockets_started, __ATOMIC_ACQUIRE)) return;
    NtLibraryLock lock;
    if (!sockets_started) {
        WSADATA data;
        WSAStartup(WINSOCK_VERSION_2_2, &data);
        __atomic_store_n(&sockets_started, 1, __ATOMIC_RELEASE);
    }
}

int ping4(const SOCKADDR_IN &address) {
    HANDLE icmp = IcmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE) {
        NTX_TRACE_FAILURE("IcmpCreateFile", kSourceNtutilx, GetLastError());
        return 0;
    }
    char request[kRequestSize];
    std::memset(request, 'E', sizeof request);
    alignas(8) unsigned char reply[kReplySize4];
    IPAddr destination;
    std::memcpy(&destination, address.sin_addr, sizeof destination);
    DWORD replies = IcmpSendEcho(icmp, destination, request, sizeof request, nullptr, reply, sizeof reply, kTimeoutMs);
    IcmpCloseHandle(icmp);
    return replies > 0 && reinterpret_cast<ICMP_ECHO_REPLY *>(reply)->Status == IP_SUCCESS;
}

int ping6(const SOCKADDR_IN6 &address) {
    HANDLE icmp = Icmp6CreateFile();
    if (icmp == INVALID_HANDLE_VALUE) {
        NTX_TRACE_FAILURE("Icmp6CreateFile", kSourceNtutilx, GetLastError());
        return 0;
    }
    char request[kRequestSize];
    std::memset(request, 'E', sizeof request);
    alignas(8) unsigned char reply[kReplySize6];
    SOCKADDR_IN6 source{};
    source.sin6_family = AF_INET6;
    SOCKADDR_IN6 destination = address;
    IP_OPTION_INFORMATION options{};
    options.Ttl = kHopLimit;
    DWORD replies = Icmp6SendEcho2(icmp, nullptr, nullptr, nullptr, &source, &destination, request, sizeof request,
                                   &options, reply, sizeof reply, kTimeoutMs);
    IcmpCloseHandle(icmp);
    return replies > 0;
}

}  // namespace

extern "C" NT_API int ntx_ping_host(const char *host) {
    start_sockets();
    ADDRINFOA hints{};
    PADDRINFOA found = nullptr;
    if (!host || GetAddrInfoA(host, nullptr, &hints, &found) != 0 || !found) return 0;
    int family = found->ai_family;
    SOCKADDR_IN address4{};
    SOCKADDR_IN6 address6{};
    bool has_address = found->ai_addr != nullptr;
    if (has_address && family == AF_INET) std::memcpy(&address4, found->ai_addr, sizeof address4);
    if (has_address && family == AF_INET6) std::memcpy(&address6, found->ai_addr, sizeof address6);
    FreeAddrInfoA(found);
    if (!has_address) return 0;
    if (family == AF_INET) return ping4(address4);
    if (family == AF_INET6) return ping6(address6);
    return 0;
}
