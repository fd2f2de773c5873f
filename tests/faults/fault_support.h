#pragma once

// Helpers shared by the fault tests: plain TCP peers, process guards, output parsing.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "program_runner.h"

namespace faulttest {

// Ends a started program when the test leaves its scope, so that a failed assertion never
// leaves a process behind.
struct program_guard {
    wiretest::running_program& program;
    explicit program_guard(wiretest::running_program& running) : program(running) {}
    program_guard(const program_guard&) = delete;
    program_guard& operator=(const program_guard&) = delete;
    ~program_guard();
};

// Closes a descriptor when the test leaves its scope.
struct fd_guard {
    int fd = -1;
    explicit fd_guard(int descriptor) : fd(descriptor) {}
    fd_guard(const fd_guard&) = delete;
    fd_guard& operator=(const fd_guard&) = delete;
    ~fd_guard();
};

// A listening TCP socket on 127.0.0.1:port, or -1.
int listen_on_loopback(int port);
// Accepts one connection on listen_fd within timeout_ms; -1 when none came.
int accept_within(int listen_fd, int timeout_ms);
// Connects to 127.0.0.1:port, retrying while nothing listens, for at most timeout_ms.
// rcvbuf > 0 shrinks the receive buffer first. Returns the socket or -1.
int connect_within(int port, int timeout_ms, int rcvbuf = 0);
// Reads until the peer closes or timeout_ms passes; returns what arrived.
std::string read_to_end(int fd, int timeout_ms);
// Sends every byte; false on an error.
bool send_all(int fd, std::string_view bytes);
// Closes fd so that the peer sees a reset instead of an orderly end.
void close_with_reset(int fd);

// User plus system CPU time of a process in seconds, or -1 when it cannot be read.
double cpu_seconds(pid_t pid);

// Polls condition every 20 ms until it holds or timeout_ms passes.
bool wait_until(const std::function<bool()>& condition, int timeout_ms);

// The count after prefix ("Successfully sent "), digits with grouping commas, if present.
std::optional<std::uint64_t> count_after(std::string_view text, std::string_view prefix);
// The hexadecimal text of the "TCPIP Data Checksum: " line, if present.
std::optional<std::string> checksum_in(std::string_view text);

// Writes a file of size bytes made of one pseudo-random mebibyte repeated.
void write_repeating_file(const std::string& path, std::size_t size, unsigned seed);
// The checksum of the first length bytes of the file at path, as "%x" text.
std::string file_prefix_checksum(const std::string& path, std::uint64_t length);
// True when the file at path holds exactly the first bytes of the file at source.
bool is_prefix_of(const std::string& path, const std::string& source);

// Size of the file at path, or -1 when it does not exist.
long long file_size_or_missing(const std::string& path);

// Printable form of bytes for failure messages: control and high bytes as \xNN.
std::string printable(std::string_view bytes);

}  // namespace faulttest
