// Echo requests (IcmpSendEcho, Icmp6SendEcho2) over ICMP sockets.  An
// unprivileged datagram socket is used where net.ipv4.ping_group_range lets
// the process open one (the kernel then fills in the identifier and the
// checksum); a raw socket otherwise, when the process may open one.  Replies
// are matched by sequence number (and identifier, on a raw socket) and source.
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include "kernel32/host_error.h"
#include "kernel32/kernel_object.h"
#include "winsock.h"

namespace quarn::win32 {
namespace {

constexpr ULONG IP_BUF_TOO_SMALL = 11001;
constexpr size_t kMaxPacket = 65536;

class EchoSocket final : public KernelObject {
public:
    EchoSocket(int fd, int family, bool raw) : fd_(fd), family_(family), raw_(raw) {}
    ~EchoSocket() override { ::close(fd_); }
    EchoSocket(const EchoSocket &) = delete;
    EchoSocket &operator=(const EchoSocket &) = delete;
    int fd() const { return fd_; }
    int family() const { return family_; }
    bool raw() const { return raw_; }

private:
    int fd_;
    int family_;
    bool raw_;
};

std::atomic<uint16_t> next_sequence{1};

HANDLE open_echo_socket(int family) {
    int protocol = family == AF_INET ? static_cast<int>(IPPROTO_ICMP) : static_cast<int>(IPPROTO_ICMPV6);
    bool raw = false;
    int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        fd = ::socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
        raw = true;
    }
    if (fd < 0) {
        SetLastError(errno == EPERM || errno == EACCES ? ERROR_ACCESS_DENIED : win32_error_from_errno(errno));
        return INVALID_HANDLE_VALUE;
    }
    try {
        return make_handle(std::make_shared<EchoSocket>(fd, family, raw));
    } catch (const std::bad_alloc &) {
        ::close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

uint16_t checksum(const unsigned char *data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (size & 1) sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<uint16_t>(~sum));
}

struct Exchange {
    const EchoSocket &socket;
    const sockaddr *destination;
    socklen_t destination_size;
    const void *data;
    WORD size;
    DWORD timeout;
};

struct Answer {
    unsigned char packet[kMaxPacket];
    size_t payload_offset = 0;  // where the echoed data starts in `packet`
    size_t payload_size = 0;
    ULONG round_trip = 0;
};

bool same_source(const sockaddr_storage &from, const sockaddr *destination) {
    if (from.ss_family != destination->sa_family) return false;
    if (from.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in &>(from).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in *>(destination)->sin_addr.s_addr;
    return std::memcmp(&reinterpret_cast<const sockaddr_in6 &>(from).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6 *>(destination)->sin6_addr, 16) == 0;
}

// Sends one request and waits for its reply: true with the answer filled, or
// false with the last error set (IP_REQ_TIMED_OUT when nothing came in time).
bool exchange(const Exchange &e, Answer &answer) {
    bool v4 = e.socket.family() == AF_INET;
    uint16_t identifier = static_cast<uint16_t>(getpid());
    uint16_t sequence = next_sequence++;
    unsigned char request[8 + 65535];
    request[0] = v4 ? ICMP_ECHO : ICMP6_ECHO_REQUEST;
    request[1] = 0;
    request[2] = request[3] = 0;
    uint16_t id_net = htons(identifier), seq_net = htons(sequence);
    std::memcpy(request + 4, &id_net, 2);
    std::memcpy(request + 6, &seq_net, 2);
    if (e.size) std::memcpy(request + 8, e.data, e.size);
    if (v4 && e.socket.raw()) {  // the kernel sums ICMPv6 and datagram requests itself
        uint16_t sum = checksum(request, 8u + e.size);
        std::memcpy(request + 2, &sum, 2);
    }
    auto start = std::chrono::steady_clock::now();
    if (::sendto(e.socket.fd(), request, 8u + e.size, 0, e.destination, e.destination_size) < 0) {
        SetLastError(errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED : static_cast<DWORD>(IP_GENERAL_FAILURE));
        return false;
    }
    auto deadline = start + std::chrono::milliseconds(e.timeout);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{e.socket.fd(), POLLIN, 0};
        int ready = left.count() > 0 ? ::poll(&readable, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            SetLastError(IP_REQ_TIMED_OUT);
            return false;
        }
        sockaddr_storage from{};
        socklen_t from_size = sizeof from;
        ssize_t got = ::recvfrom(e.socket.fd(), answer.packet, sizeof answer.packet, 0,
                                 reinterpret_cast<sockaddr *>(&from), &from_size);
        if (got < 0) continue;
        size_t at = 0;
        if (v4 && e.socket.raw()) {  // a raw IPv4 socket hands over the IP header too
            if (got < 1) continue;
            at = static_cast<size_t>(answer.packet[0] & 0x0F) * 4;
        }
        if (static_cast<size_t>(got) < at + 8) continue;
        const unsigned char *icmp = answer.packet + at;
        uint16_t reply_id = 0, reply_seq = 0;
        std::memcpy(&reply_id, icmp + 4, 2);
        std::memcpy(&reply_seq, icmp + 6, 2);
        bool is_reply = icmp[0] == (v4 ? ICMP_ECHOREPLY : ICMP6_ECHO_REPLY);
        if (!is_reply || ntohs(reply_seq) != sequence || (e.socket.raw() && ntohs(reply_id) != identifier) ||
            !same_source(from, e.destination))
            continue;
        answer.payload_offset = at + 8;
        answer.payload_size = static_cast<size_t>(got) - at - 8;
        answer.round_trip = static_cast<ULONG>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        return true;
    }
}

std::shared_ptr<EchoSocket> echo_socket(HANDLE handle, int family) {
    auto socket = typed_object<EchoSocket>(handle);
    if (socket && socket->family() != family) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return socket;
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

HANDLE IcmpCreateFile() { return open_echo_socket(AF_INET); }
HANDLE Icmp6CreateFile() { return open_echo_socket(AF_INET6); }

BOOL IcmpCloseHandle(HANDLE handle) {
    if (!typed_object<EchoSocket>(handle)) return FALSE;
    return CloseHandle(handle);
}

DWORD IcmpSendEcho(HANDLE handle, IPAddr destination, LPVOID data, WORD size, PIP_OPTION_INFORMATION options,
                   LPVOID reply, DWORD reply_size, DWORD timeout) {
    auto socket = echo_socket(handle, AF_INET);
    if (!socket) return 0;
    if (!reply || (size && !data)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (reply_size < sizeof(ICMP_ECHO_REPLY) + size + 8) {
        SetLastError(IP_BUF_TOO_SMALL);
        return 0;
    }
    if (options && options->Ttl) {
        int ttl = options->Ttl;
        setsockopt(socket->fd(), IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    auto answer = std::make_unique<Answer>();
    if (!exchange({*socket, reinterpret_cast<sockaddr *>(&to), sizeof to, data, size, timeout}, *answer)) return 0;
    auto *out = static_cast<ICMP_ECHO_REPLY *>(reply);
    auto *echoed = reinterpret_cast<unsigned char *>(out + 1);
    size_t copied = answer->payload_size < size ? answer->payload_size : size;
    std::memset(out, 0, sizeof *out);
    out->Address = destination;
    out->Status = IP_SUCCESS;
    out->RoundTripTime = answer->round_trip;
    out->DataSize = static_cast<USHORT>(copied);
    out->Data = echoed;
    std::memcpy(echoed, answer->packet + answer->payload_offset, copied);
    return 1;
}

DWORD Icmp6SendEcho2(HANDLE handle, HANDLE event, PVOID apc, PVOID, SOCKADDR_IN6 *source, SOCKADDR_IN6 *destination,
                     LPVOID data, WORD size, PIP_OPTION_INFORMATION options, LPVOID reply, DWORD reply_size,
                     DWORD timeout) {
    auto socket = echo_socket(handle, AF_INET6);
    if (!socket) return 0;
    if (event || apc || !destination || !reply || (size && !data)) {  // only the waiting form is offered
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (reply_size < sizeof(ICMPV6_ECHO_REPLY) + size + 8) {
        SetLastError(IP_BUF_TOO_SMALL);
        return 0;
    }
    if (source) {
        static const BYTE unspecified[16] = {};
        if (std::memcmp(source->sin6_addr, unspecified, 16) != 0) {
            sockaddr_in6 from{};
            from.sin6_family = AF_INET6;
            std::memcpy(&from.sin6_addr, source->sin6_addr, 16);
            from.sin6_scope_id = source->sin6_scope_id;
            if (::bind(socket->fd(), reinterpret_cast<sockaddr *>(&from), sizeof from) != 0)
                return fail_with_errno(errno), 0;
        }
    }
    if (options && options->Ttl) {
        int hops = options->Ttl;
        setsockopt(socket->fd(), IPPROTO_IPV6, IPV6_UNICAST_HOPS, &hops, sizeof hops);
    }
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    std::memcpy(&to.sin6_addr, destination->sin6_addr, 16);
    to.sin6_scope_id = destination->sin6_scope_id;
    auto answer = std::make_unique<Answer>();
    if (!exchange({*socket, reinterpret_cast<sockaddr *>(&to), sizeof to, data, size, timeout}, *answer)) return 0;
    auto *out = static_cast<ICMPV6_ECHO_REPLY *>(reply);
    std::memset(out, 0, sizeof *out);
    std::memcpy(out->Address.sin6_addr, destination->sin6_addr, 16);
    out->Address.sin6_scope_id = destination->sin6_scope_id;
    out->Status = IP_SUCCESS;
    out->RoundTripTime = answer->round_trip;
    size_t copied = answer->payload_size < size ? answer->payload_size : size;
    std::memcpy(out + 1, answer->packet + answer->payload_offset, copied);
    return 1;
}

}  // extern "C"
