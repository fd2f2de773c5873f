#include "peer_watch.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr int default_limit_seconds = 90;
constexpr long shortest_limit_seconds = 3;
constexpr long longest_limit_seconds = 3600;
// Keepalive: a third of the limit idle, then this many probes across the other two thirds.
constexpr int keepalive_probes = 6;
// How often a send blocked by a full window comes back to ask whether the peer still answers.
constexpr int send_check_seconds = 1;
// Window probes back off to two minutes apart; one that goes unanswered on a lossy path is
// no proof, two in a row are.
constexpr std::uint8_t unanswered_probes_for_proof = 2;

int read_limit() {
    const char* text = std::getenv("WIRE_TEST_PEER_TIMEOUT");
    if (text == nullptr || *text == '\0') {
        return default_limit_seconds;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < shortest_limit_seconds || value > longest_limit_seconds) {
        return default_limit_seconds;
    }
    return static_cast<int>(value);
}

int set_int_option(int socket_fd, int level, int name, int value) {
    return setsockopt(socket_fd, level, name, &value, sizeof value);
}

}  // namespace

int peer_limit_seconds() {
    static const int limit = read_limit();
    return limit;
}

int watch_peer(int socket_fd) {
    const int limit = peer_limit_seconds();
    const int idle = limit / 3;
    const int interval = (limit - idle) / keepalive_probes;
    const timeval send_check{send_check_seconds, 0};
    if (set_int_option(socket_fd, SOL_SOCKET, SO_KEEPALIVE, 1) < 0 ||
        set_int_option(socket_fd, IPPROTO_TCP, TCP_KEEPIDLE, idle) < 0 ||
        set_int_option(socket_fd, IPPROTO_TCP, TCP_KEEPINTVL, interval > 0 ? interval : 1) < 0 ||
        set_int_option(socket_fd, IPPROTO_TCP, TCP_KEEPCNT, keepalive_probes) < 0 ||
        setsockopt(socket_fd, SOL_SOCKET, SO_SNDTIMEO, &send_check, sizeof send_check) < 0) {
        return -1;
    }
    return 0;
}

bool peer_has_vanished(int socket_fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(socket_fd, IPPROTO_TCP, TCP_INFO, &info, &length) < 0) {
        return false;
    }
    const bool awaiting_answer =
        info.tcpi_unacked > 0 || info.tcpi_probes >= unanswered_probes_for_proof;
    constexpr std::uint32_t milliseconds_per_second = 1000;
    const auto limit_ms =
        static_cast<std::uint32_t>(peer_limit_seconds()) * milliseconds_per_second;
    return awaiting_answer && info.tcpi_last_ack_recv >= limit_ms;
}
