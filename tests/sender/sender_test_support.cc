#include "sender_test_support.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <regex>

namespace sendertest {

const std::string quiet_banner =
    wiretest::quiet_banner_of("TCP/IP Data Transfer Utility for Win32 WINSOCK");

sender_run start_sender(const std::string& dir, const std::vector<std::string>& args,
                        const wiretest::run_options& options, int port) {
    sender_run run;
    run.port = port == 0 ? wiretest::free_port() : port;
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

transfer_outcome run_transfer(const std::string& dir, const std::vector<std::string>& args,
                              const std::string& answers, const std::function<void()>& midway) {
    wiretest::run_options options;
    options.stdin_text = answers;
    sender_run run = start_sender(dir, args, options);
    const wiretest::program_guard guard(run.program);
    transfer_outcome outcome;
    const wiretest::fd_guard client(run.program.pid == -1 ? -1
                                                          : wiretest::connect_within(run.port));
    EXPECT_NE(client.fd, -1) << "the sender never listened";
    if (client.fd != -1) {
        if (midway) {
            // The socket's receive timeout bounds this wait.
            outcome.stream.resize(1000);
            const ssize_t got = recv(client.fd, outcome.stream.data(), 1000, MSG_WAITALL);
            outcome.stream.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
            midway();
        }
        outcome.stream += wiretest::read_to_end(client.fd);
    }
    outcome.result = wiretest::finish_program(run.program);
    return outcome;
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

std::string totals_text(const std::string& sent_bytes) {
    return "\nSuccessfully sent " + grouped(sent_bytes.size()) +
           " bytes at R KBS\nTCPIP Data Checksum: " + wiretest::checksum_hex(sent_bytes) + "\n";
}

}  // namespace sendertest
