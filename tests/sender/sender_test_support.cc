#include "sender_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <regex>
#include <thread>

namespace sendertest {

namespace {

using steady = std::chrono::steady_clock;

int milliseconds_left(steady::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Reads into bytes until it holds limit bytes, the stream ends or the deadline passes.
void read_into(int fd, std::string& bytes, std::size_t limit, steady::time_point deadline) {
    std::array<char, 65536> chunk{};
    while (bytes.size() < limit) {
        pollfd watched{fd, POLLIN, 0};
        if (poll(&watched, 1, milliseconds_left(deadline)) <= 0) {
            return;
        }
        const std::size_t wanted = std::min(chunk.size(), limit - bytes.size());
        const ssize_t got = recv(fd, chunk.data(), wanted, 0);
        if (got <= 0) {
            return;
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

}  // namespace

const std::string quiet_banner =
    "\nTCP/IP Data Transfer Utility for Win32 WINSOCK\nVersion 1.34 Sep 13 1999\n\n";

const std::string usage_text =
    "\nUsage: send [options] file1 [file2] [filen]\n"
    "       -           : No files, send random data\n"
    "       -config     : Display TCP/IP configuration\n"
    "       -help       : Display command help\n"
    "       -pause      : Pause before each file to insert new media\n"
    "       -port       : Set TCP/IP Port Number\n"
    "       -readsize=n : Set disk read buffer size to n bytes\n"
    "       -sendsize=n : Set send buffer size to n bytes\n";

// The four notice lines belong to the common banner; they are taken from the bare call,
// whose output is checked to be exactly those lines, the quiet banner and the usage text.
const std::string& full_banner() {
    static const std::string banner = [] {
        const auto result = wiretest::run_program(wiretest::pitchwire_path(), {});
        const std::string& out = result.out;
        if (out.size() < quiet_banner.size() + usage_text.size()) {
            return std::string("(no banner)");
        }
        return out.substr(0, out.size() - usage_text.size());
    }();
    return banner;
}

std::string cleared_line() {
    return "\r" + std::string(79, ' ') + "\r";
}

int connect_client(int port) {
    const auto deadline = steady::now() + std::chrono::seconds(10);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    while (steady::now() < deadline) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return -1;
        }
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            return fd;
        }
        close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

std::string read_to_end(int fd) {
    std::string bytes;
    read_into(fd, bytes, std::string::npos, steady::now() + std::chrono::seconds(60));
    close(fd);
    return bytes;
}

std::string read_some(int fd, std::size_t count) {
    std::string bytes;
    read_into(fd, bytes, count, steady::now() + std::chrono::seconds(10));
    return bytes;
}

sender_run start_sender(const std::string& dir, const std::vector<std::string>& args,
                        const wiretest::run_options& options) {
    sender_run run;
    run.port = wiretest::free_port();
    std::vector<std::string> all_args{"-quiet", "-port=" + std::to_string(run.port)};
    all_args.insert(all_args.end(), args.begin(), args.end());
    wiretest::run_options with_dir = options;
    with_dir.working_directory = dir;
    run.program = wiretest::start_program(wiretest::pitchwire_path(), all_args, with_dir);
    if (!wiretest::wait_for_output(run.program, "Waiting for connection")) {
        wiretest::finish_program(run.program, 5000);
    }
    return run;
}

std::string normalized(const std::string& out) {
    static const std::regex progress("Send: Offset [0-9,]+, FileSize: [0-9,]+ KBS: [0-9]+    \r");
    static const std::regex local_address("Local TCP/IP address: [^\n]*\n");
    static const std::regex peer("from 127\\.0\\.0\\.1 on port [0-9]+\n");
    static const std::regex rate("bytes at [0-9]+ KBS\n");
    std::string text = std::regex_replace(out, progress, "");
    text = std::regex_replace(text, local_address, "Local TCP/IP address: A\n");
    text = std::regex_replace(text, peer, "from 127.0.0.1 on port P\n");
    return std::regex_replace(text, rate, "bytes at R KBS\n");
}

std::string connected_prefix() {
    return quiet_banner +
           "Initializing TCP/IP Protocol Stack\n"
           "Local TCP/IP address: A\n"
           "Waiting for connection [ESC to abort] ... "
           "\rReceived connection from 127.0.0.1 on port P\n\n";
}

std::string totals_text(const std::string& count, const std::string& checksum) {
    return "\nSuccessfully sent " + count + " bytes at R KBS\nTCPIP Data Checksum: " + checksum +
           "\n";
}

}  // namespace sendertest
