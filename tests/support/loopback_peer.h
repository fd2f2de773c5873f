#pragma once

// Plain TCP peers on 127.0.0.1 for the tests: a listener, a client, a reader that counts and
// checksums, an abortive close. Every socket they make gives up on a wait after 20 s, so a
// stuck program turns into a failed call instead of a hung test.

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace wiretest {

// Closes a descriptor when the test leaves its scope.
struct fd_guard {
    int fd = -1;
    explicit fd_guard(int descriptor) : fd(descriptor) {}
    fd_guard(const fd_guard&) = delete;
    fd_guard& operator=(const fd_guard&) = delete;
    ~fd_guard();
};

// The address 127.0.0.1:port.
sockaddr_in loopback_address(int port);
// A listening socket on 127.0.0.1:port (0: the kernel picks one), or -1.
int listen_loopback(int port = 0);
// The local port a socket is bound to.
int bound_port(int fd);
// Accepts one connection within timeout_ms; -1 when none came.
int accept_within(int listen_fd, int timeout_ms = 10000);
// Connects to 127.0.0.1:port, retrying while nothing listens, for at most timeout_ms.
// rcvbuf > 0 shrinks the receive buffer first. Returns the socket or -1.
int connect_within(int port, int timeout_ms = 10000, int rcvbuf = 0);

// What a reader has taken from a stream: its length, its byte sum, and the offset of the
// first byte that differs from expected_byte (when one is given), or -1.
struct byte_tally {
    std::function<unsigned char(std::uint64_t offset)> expected_byte;
    std::uint64_t count = 0;
    std::uint32_t checksum = 0;
    std::int64_t first_mismatch = -1;
    void take(const unsigned char* bytes, std::size_t length);
};
// Reads into tally until it holds at least until_count bytes, or to the end of the stream
// when until_count is 0. Returns false when the stream ended or stalled before that.
bool read_into(int fd, byte_tally& tally, std::uint64_t until_count = 0);
// Reads until the peer closes or timeout_ms passes; returns what arrived.
std::string read_to_end(int fd, int timeout_ms = 20000);
// Sends every byte; false on an error.
bool send_all(int fd, std::string_view bytes);
// Closes fd so that the peer sees a reset instead of an orderly end.
void close_with_reset(int fd);

// Polls condition every 20 ms until it holds or timeout_ms passes.
bool wait_until(const std::function<bool()>& condition, int timeout_ms = 10000);

}  // namespace wiretest
