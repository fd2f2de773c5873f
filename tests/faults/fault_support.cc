#include "fault_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace faulttest {

namespace {

using steady = std::chrono::steady_clock;

sockaddr_in loopback_address(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

// A peer socket never blocks a test for ever: a stuck program turns into a failed call.
void bound_waits(int fd) {
    const timeval limit{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

int ms_until(steady::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

program_guard::~program_guard() {
    if (program.pid > 0) {
        // Each program leads a process group of its own; a shell's children go with it.
        kill(-program.pid, SIGKILL);
        wiretest::finish_program(program, 0);
    }
}

fd_guard::~fd_guard() {
    if (fd >= 0) {
        close(fd);
    }
}

int listen_on_loopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = loopback_address(port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 1) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return fd;
}

int accept_within(int listen_fd, int timeout_ms) {
    pollfd waiting{listen_fd, POLLIN, 0};
    if (poll(&waiting, 1, timeout_ms) != 1) {
        return -1;
    }
    const int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        bound_waits(fd);
    }
    return fd;
}

int connect_within(int port, int timeout_ms, int rcvbuf) {
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    do {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (rcvbuf > 0) {
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
        }
        sockaddr_in address = loopback_address(port);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            bound_waits(fd);
            return fd;
        }
        close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (steady::now() < deadline);
    return -1;
}

std::string read_to_end(int fd, int timeout_ms) {
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    std::string bytes;
    std::vector<char> chunk(65536);
    while (steady::now() < deadline) {
        pollfd readable{fd, POLLIN, 0};
        if (poll(&readable, 1, ms_until(deadline)) != 1) {
            continue;
        }
        const ssize_t got = recv(fd, chunk.data(), chunk.size(), 0);
        if (got <= 0) {
            break;
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return bytes;
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

double cpu_seconds(pid_t pid) {
    std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat_file, text);
    // The command name in parentheses may hold blanks: count fields after its ")".
    const std::size_t name_end = text.rfind(')');
    if (name_end == std::string::npos) {
        return -1;
    }
    std::istringstream fields(text.substr(name_end + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // After the name come state (field 3) ... utime (14) and stime (15).
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) {
            utime = std::stoull(field);
        } else if (index == 15) {
            stime = std::stoull(field);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
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

std::optional<std::uint64_t> count_after(std::string_view text, std::string_view prefix) {
    const std::size_t at = text.rfind(prefix);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::uint64_t count = 0;
    bool any_digit = false;
    for (std::size_t index = at + prefix.size(); index < text.size(); ++index) {
        const char character = text[index];
        if (character == ',') {
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(character)) == 0) {
            break;
        }
        count = count * 10 + static_cast<std::uint64_t>(character - '0');
        any_digit = true;
    }
    return any_digit ? std::optional<std::uint64_t>(count) : std::nullopt;
}

std::optional<std::string> checksum_in(std::string_view text) {
    constexpr std::string_view prefix = "TCPIP Data Checksum: ";
    const std::size_t at = text.rfind(prefix);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t start = at + prefix.size();
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(text.substr(start, end - start));
}

void write_repeating_file(const std::string& path, std::size_t size, unsigned seed) {
    constexpr std::size_t block_size = 1 << 20;
    const std::string block = wiretest::random_bytes(block_size, seed);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (std::size_t written = 0; written < size; written += block_size) {
        const std::size_t part = std::min(block_size, size - written);
        file.write(block.data(), static_cast<std::streamsize>(part));
    }
}

std::string file_prefix_checksum(const std::string& path, std::uint64_t length) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> chunk(1 << 20);
    std::uint32_t sum = 0;
    while (length > 0 && file) {
        const auto want =
            static_cast<std::streamsize>(std::min<std::uint64_t>(length, chunk.size()));
        file.read(chunk.data(), want);
        const std::streamsize got = file.gcount();
        for (std::streamsize index = 0; index < got; ++index) {
            sum += static_cast<unsigned char>(chunk[static_cast<std::size_t>(index)]);
        }
        length -= static_cast<std::uint64_t>(got);
        if (got == 0) {
            break;
        }
    }
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%x", sum);
    return text.data();
}

bool is_prefix_of(const std::string& path, const std::string& source) {
    std::ifstream copy(path, std::ios::binary);
    std::ifstream original(source, std::ios::binary);
    std::vector<char> copy_chunk(1 << 20);
    std::vector<char> original_chunk(1 << 20);
    while (copy && original) {
        copy.read(copy_chunk.data(), static_cast<std::streamsize>(copy_chunk.size()));
        const std::streamsize got = copy.gcount();
        original.read(original_chunk.data(), got);
        if (original.gcount() != got ||
            !std::equal(copy_chunk.begin(), copy_chunk.begin() + got, original_chunk.begin())) {
            return false;
        }
        if (got == 0) {
            break;
        }
    }
    return true;
}

long long file_size_or_missing(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return -1;
    }
    return status.st_size;
}

std::string printable(std::string_view bytes) {
    std::string text;
    for (const char character : bytes) {
        const auto value = static_cast<unsigned char>(character);
        if (value >= 32 && value < 127) {
            text += character;
        } else {
            std::array<char, 8> escape{};
            std::snprintf(escape.data(), escape.size(), "\\x%02x", value);
            text += escape.data();
        }
    }
    return text;
}

}  // namespace faulttest
