// WSAStartup and GetAddrInfoA: the host's resolver, its answers copied into
// Windows' address records (Windows' field order and family numbers).
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>

#include "winsock.h"

namespace {

int windows_family(int family) {
    return family == AF_INET ? WSA_FAMILY_INET : family == AF_INET6 ? WSA_FAMILY_INET6 : family;
}

int host_family(int family) {
    return family == WSA_FAMILY_INET ? AF_INET : family == WSA_FAMILY_INET6 ? AF_INET6 : family == 0 ? AF_UNSPEC : -1;
}

int windows_error(int resolver_error) {
    switch (resolver_error) {
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_BADFLAGS: return WSAEINVAL;
    case EAI_FAMILY: return WSAEAFNOSUPPORT;
    case EAI_MEMORY: return WSA_NOT_ENOUGH_MEMORY;
    case EAI_NODATA: return WSANO_DATA;
    case EAI_SERVICE: return WSATYPE_NOT_FOUND;
    case EAI_SOCKTYPE: return WSAESOCKTNOSUPPORT;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    default: return WSANO_RECOVERY;
    }
}

// One Windows record (with its address and name in the same block) for `from`.
PADDRINFOA copy_record(const addrinfo &from) {
    size_t name_size = from.ai_canonname ? std::strlen(from.ai_canonname) + 1 : 0;
    size_t address_size = from.ai_family == AF_INET6 ? sizeof(SOCKADDR_IN6) : sizeof(SOCKADDR_IN);
    auto *record = static_cast<PADDRINFOA>(std::calloc(1, sizeof(ADDRINFOA) + address_size + name_size));
    if (!record) return nullptr;
    record->ai_flags = from.ai_flags;
    record->ai_family = windows_family(from.ai_family);
    record->ai_socktype = from.ai_socktype;
    record->ai_protocol = from.ai_protocol;
    record->ai_addrlen = address_size;
    record->ai_addr = reinterpret_cast<SOCKADDR *>(record + 1);
    if (from.ai_family == AF_INET6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(from.ai_addr);
        auto *out = reinterpret_cast<SOCKADDR_IN6 *>(record->ai_addr);
        out->sin6_family = WSA_FAMILY_INET6;
        out->sin6_port = in6->sin6_port;
        out->sin6_flowinfo = in6->sin6_flowinfo;
        std::memcpy(out->sin6_addr, &in6->sin6_addr, 16);
        out->sin6_scope_id = in6->sin6_scope_id;
    } else if (from.ai_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(from.ai_addr);
        auto *out = reinterpret_cast<SOCKADDR_IN *>(record->ai_addr);
        out->sin_family = WSA_FAMILY_INET;
        out->sin_port = in->sin_port;
        std::memcpy(out->sin_addr, &in->sin_addr, 4);
    }
    if (name_size) {
        record->ai_canonname = reinterpret_cast<char *>(record->ai_addr) + address_size;
        std::memcpy(record->ai_canonname, from.ai_canonname, name_size);
    }
    return record;
}

}  // namespace

extern "C" {

int WSAStartup(WORD version, LPWSADATA data) {
    if (!data) return WSAEINVAL;
    std::memset(data, 0, sizeof *data);
    data->wHighVersion = WINSOCK_VERSION_2_2;
    data->wVersion = version < WINSOCK_VERSION_2_2 ? version : WINSOCK_VERSION_2_2;
    std::strcpy(data->szDescription, "WinSock 2.0");
    std::strcpy(data->szSystemStatus, "Running");
    if ((version & 0xFF) > 2 || ((version & 0xFF) == 2 && (version >> 8) > 2)) return WSAVERNOTSUPPORTED;
    return 0;
}

int WSACleanup() { return 0; }

int GetAddrInfoA(LPCSTR node, LPCSTR service, const ADDRINFOA *hints, PADDRINFOA *result) {
    if (!result || (!node && !service)) return WSAHOST_NOT_FOUND;
    *result = nullptr;
    addrinfo host_hints{};
    if (hints) {
        host_hints.ai_flags = hints->ai_flags;
        host_hints.ai_family = host_family(hints->ai_family);
        if (host_hints.ai_family < 0) return WSAEAFNOSUPPORT;
        host_hints.ai_socktype = hints->ai_socktype;
        host_hints.ai_protocol = hints->ai_protocol;
    }
    addrinfo *found = nullptr;
    int status = getaddrinfo(node, service, hints ? &host_hints : nullptr, &found);
    if (status != 0) return windows_error(status);
    PADDRINFOA *tail = result;
    for (const addrinfo *p = found; p; p = p->ai_next) {
        if (p->ai_family != AF_INET && p->ai_family != AF_INET6) continue;
        PADDRINFOA record = copy_record(*p);
        if (!record) {
            freeaddrinfo(found);
            FreeAddrInfoA(*result);
            *result = nullptr;
            return WSA_NOT_ENOUGH_MEMORY;
        }
        *tail = record;
        tail = &record->ai_next;
    }
    freeaddrinfo(found);
    return *result ? 0 : WSANO_DATA;
}

void FreeAddrInfoA(PADDRINFOA result) {
    while (result) {
        PADDRINFOA next = result->ai_next;
        std::free(result);
        result = next;
    }
}

}  // extern "C"
