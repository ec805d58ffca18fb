// Sockets as the library sees them: start-up, name resolution into Windows'
// address records, and the echo requests of the ICMP helper library.
// Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include "winbase.h"

extern "C" {

// Windows' address-family numbers (its AF_INET6 is not Linux's).
constexpr USHORT WSA_FAMILY_UNSPEC = 0;
constexpr USHORT WSA_FAMILY_INET = 2;
constexpr USHORT WSA_FAMILY_INET6 = 23;
#ifndef AF_INET
#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#endif

constexpr int WSA_NOT_ENOUGH_MEMORY = 8;
constexpr int WSAEINVAL = 10022;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSATYPE_NOT_FOUND = 10109;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
} WSADATA, *LPWSADATA;

constexpr WORD WINSOCK_VERSION_2_2 = 0x0202;
// Always succeeds for versions up to 2.2 (WSAVERNOTSUPPORTED above).
int WSAStartup(WORD version, LPWSADATA data);
int WSACleanup();

typedef struct _SOCKADDR {
    USHORT sa_family;
    char sa_data[14];
} SOCKADDR, *PSOCKADDR;

typedef struct _SOCKADDR_IN {
    USHORT sin_family;
    USHORT sin_port;
    BYTE sin_addr[4];
    char sin_zero[8];
} SOCKADDR_IN;

typedef struct _SOCKADDR_IN6 {
    USHORT sin6_family;
    USHORT sin6_port;
    ULONG sin6_flowinfo;
    BYTE sin6_addr[16];
    ULONG sin6_scope_id;
} SOCKADDR_IN6, *PSOCKADDR_IN6;

typedef struct addrinfo_w {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    size_t ai_addrlen;
    char *ai_canonname;
    SOCKADDR *ai_addr;
    struct addrinfo_w *ai_next;
} ADDRINFOA, *PADDRINFOA;

// getaddrinfo as Windows gives it: the records in Windows' layout and
// numbering; 0, or a Windows Sockets error (WSAHOST_NOT_FOUND, ...).
int GetAddrInfoA(LPCSTR node, LPCSTR service, const ADDRINFOA *hints, PADDRINFOA *result);
void FreeAddrInfoA(PADDRINFOA result);

// ---- echo requests ----------------------------------------------------------------
typedef ULONG IPAddr;  // an IPv4 address in network order

typedef struct ip_option_information {
    UCHAR Ttl;
    UCHAR Tos;
    UCHAR Flags;
    UCHAR OptionsSize;
    UCHAR *OptionsData;
} IP_OPTION_INFORMATION, *PIP_OPTION_INFORMATION;

typedef struct icmp_echo_reply {
    IPAddr Address;
    ULONG Status;
    ULONG RoundTripTime;
    USHORT DataSize;
    USHORT Reserved;
    PVOID Data;
    IP_OPTION_INFORMATION Options;
} ICMP_ECHO_REPLY, *PICMP_ECHO_REPLY;

typedef struct _IPV6_ADDRESS_EX {
    USHORT sin6_port;
    ULONG sin6_flowinfo;
    USHORT sin6_addr[8];
    ULONG sin6_scope_id;
} IPV6_ADDRESS_EX;

typedef struct icmpv6_echo_reply_lh {
    IPV6_ADDRESS_EX Address;
    ULONG Status;
    unsigned int RoundTripTime;
} ICMPV6_ECHO_REPLY, *PICMPV6_ECHO_REPLY;

constexpr ULONG IP_SUCCESS = 0;
constexpr ULONG IP_REQ_TIMED_OUT = 11010;
constexpr ULONG IP_GENERAL_FAILURE = 11050;

// A handle for echo requests: an unprivileged ICMP socket, or a raw one
// where the machine allows no unprivileged ones and the process may open a
// raw one; INVALID_HANDLE_VALUE with ERROR_ACCESS_DENIED otherwise.
HANDLE IcmpCreateFile();
HANDLE Icmp6CreateFile();
BOOL IcmpCloseHandle(HANDLE handle);
// One echo request; the number of replies in `reply` (0 with IP_REQ_TIMED_OUT
// as the last error when none came within `timeout` ms).
DWORD IcmpSendEcho(HANDLE handle, IPAddr destination, LPVOID data, WORD size, PIP_OPTION_INFORMATION options,
                   LPVOID reply, DWORD reply_size, DWORD timeout);
DWORD Icmp6SendEcho2(HANDLE handle, HANDLE event, PVOID apc, PVOID apc_context, SOCKADDR_IN6 *source,
                     SOCKADDR_IN6 *destination, LPVOID data, WORD size, PIP_OPTION_INFORMATION options,
                     LPVOID reply, DWORD reply_size, DWORD timeout);

}  // extern "C"
