#include "loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace wiretest {

namespace {

using steady = std::chrono::steady_clock;

int bound_waits(int fd) {
    const timeval limit{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

}  // namespace

sockaddr_in loopback_address(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

fd_guard::~fd_guard() {
    if (fd >= 0) {
        close(fd);
    }
}

int listen_loopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback_address(port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 1) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int bound_port(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

int accept_within(int listen_fd, int timeout_ms) {
    pollfd waiting{listen_fd, POLLIN, 0};
    if (poll(&waiting, 1, timeout_ms) != 1) {
        return -1;
    }
    const int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? -1 : bound_waits(fd);
}

int connect_within(int port, int timeout_ms, int rcvbuf) {
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    const sockaddr_in address = loopback_address(port);
    do {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (rcvbuf > 0) {
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
        }
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            return bound_waits(fd);
        }
        close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (steady::now() < deadline);
    return -1;
}

void byte_tally::take(const unsigned char* bytes, std::size_t length) {
    for (std::size_t index = 0; index < length; ++index, ++count) {
        if (first_mismatch < 0 && expected_byte && bytes[index] != expected_byte(count)) {
            first_mismatch = static_cast<std::int64_t>(count);
        }
        checksum += bytes[index];
    }
}

// A receive timeout counts as a stall.
bool read_into(int fd, byte_tally& tally, std::uint64_t until_count) {
    std::vector<unsigned char> chunk(65536);
    while (until_count == 0 || tally.count < until_count) {
        const ssize_t got = recv(fd, chunk.data(), chunk.size(), 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return until_count == 0 && got == 0;
        }
        tally.take(chunk.data(), static_cast<std::size_t>(got));
    }
    return true;
}

std::string read_to_end(int fd, int timeout_ms) {
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    std::string bytes;
    std::vector<char> chunk(65536);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) != 1) {
            return bytes;
        }
        const ssize_t got = recv(fd, chunk.data(), chunk.size(), 0);
        if (got <= 0) {
            return bytes;
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

bool send_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

void close_with_reset(int fd) {
    // A zero linger time makes close send RST and drop what is still queued.
    const linger abortive{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close(fd);
}

bool wait_until(const std::function<bool()>& condition, int timeout_ms) {
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (steady::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace wiretest
