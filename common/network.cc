#include "network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <string_view>

#include "socket_layer.h"

std::uint16_t tcp_port = 111;
unsigned char network_started = 0;

namespace {

struct socket_error_entry {
    int code;
    const char* text;
};

constexpr auto socket_error_texts = std::to_array<socket_error_entry>({
    {10035, "Operation would block"},
    {10038, "Operation on a non socket"},
    {10040, "Message Too Large"},
    {10048, "TCP/IP Address is already in use"},
    {10051, "Network Unreachable"},
    {10053, "Connection Aborted"},
    {10054, "Connection Reset"},
    {10060, "Connection Timed Out"},
    {10061, "Connection Refused"},
    {10065, "Host Unreachable"},
});

// Shared by every code outside the table; "TCP/IP error -2147483648" is 24 characters.
std::array<char, 32> fallback_error_text{};

// True for 127.0.0.0/8, where a host name often points on Linux (127.0.1.1 on Debian).
bool is_loopback(in_addr address) {
    return (ntohl(address.s_addr) >> 24) == 127;
}

// Stores in *address the address of the interface the default route leaves by. Returns 0,
// or 1 without a route. Connecting a UDP socket only picks the route: no packet is sent.
int default_route_address(in_addr* address) {
    const int probe_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe_fd < 0) {
        return 1;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(9);
    remote.sin_addr.s_addr = inet_addr("192.0.2.1");
    sockaddr_in local{};
    socklen_t local_length = sizeof local;
    int status = 1;
    if (connect(probe_fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 &&
        getsockname(probe_fd, reinterpret_cast<sockaddr*>(&local), &local_length) == 0 &&
        local.sin_addr.s_addr != htonl(INADDR_ANY)) {
        *address = local.sin_addr;
        status = 0;
    }
    close(probe_fd);
    return status;
}

// Stores in *address the first IPv4 address, not a loopback one, of an interface that is up.
// Returns 0, or 1 when there is none. With several interfaces the choice is arbitrary, so it
// is only the last resort.
int interface_address(in_addr* address) {
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) {
        return 1;
    }
    int status = 1;
    for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        const in_addr found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        if (!is_loopback(found)) {
            *address = found;
            status = 0;
            break;
        }
    }
    freeifaddrs(interfaces);
    return status;
}

}  // namespace

int resolve_host_name(const char* host_name, in_addr* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (getaddrinfo(host_name, nullptr, &hints, &results) != 0 || results == nullptr) {
        return 1;
    }
    *address = reinterpret_cast<const sockaddr_in*>(results->ai_addr)->sin_addr;
    freeaddrinfo(results);
    return 0;
}

// Linux sockets need no start-up; returns 0.
int start_network() {
    network_started = 1;
    return 0;
}

// Releases the socket layer. The kernel keeps no per-process socket layer state, so even
// after start_network there is nothing to hand back.
void stop_network() {}

// The fixed text for one of the ten known codes; any other code is written into the shared
// buffer, which the next such call overwrites.
const char* socket_error_text(int code) {
    for (const socket_error_entry& entry : socket_error_texts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    std::snprintf(fallback_error_text.data(), fallback_error_text.size(), "TCP/IP error %d", code);
    return fallback_error_text.data();
}

// Prints the address a receiver should connect to: the host name's address unless that is
// a loopback one, else the default route's, else (an isolated link) an interface's, else the
// host name's loopback one; prints nothing when none is known.
void show_local_address() {
    std::array<char, 256> host_name{};
    if (gethostname(host_name.data(), 255) < 0) {
        std::printf("Error: Could not get host name: Error: %d\n", socket_error_for_errno(errno));
        return;
    }
    in_addr resolved{};
    const bool name_resolved = resolve_host_name(host_name.data(), &resolved) == 0;
    if (name_resolved && !is_loopback(resolved)) {
        std::printf("Local TCP/IP address: %s\n", inet_ntoa(resolved));
        return;
    }
    in_addr routed{};
    if (default_route_address(&routed) == 0 || interface_address(&routed) == 0) {
        std::printf("Local TCP/IP address: %s\n", inet_ntoa(routed));
    } else if (name_resolved) {
        std::printf("Local TCP/IP address: %s\n", inet_ntoa(resolved));
    }
}

// Sets tcp_port from the digits of value, modulo 65536, and returns 0; returns 1 after
// printing an error when value is empty or holds a non-digit.
int parse_port_option(const char* value) {
    if (value[0] == '\0') {
        std::printf("Error: Missing port number\n");
        return 1;
    }
    if (check_digits(value) != 0) {
        std::printf("Error: Port numbers must be decimal characters\n");
        return 1;
    }
    // Reduced at every step, so any number of digits gives the value modulo 65536.
    std::uint32_t port = 0;
    for (const char digit : std::string_view(value)) {
        port = (port * 10 + static_cast<std::uint32_t>(digit - '0')) & 0xffffU;
    }
    tcp_port = static_cast<std::uint16_t>(port);
    return 0;
}

// 0 when text holds only "0".."9" (the empty text too); 1 at the first other character,
// bytes above 127 included.
int check_digits(const char* text) {
    for (const char* cursor = text; *cursor != '\0'; ++cursor) {
        const auto value = static_cast<signed char>(*cursor);
        if (value < '0' || value > '9') {
            return 1;
        }
    }
    return 0;
}
