#pragma once

// What the sender's program tests share: the fixed texts it prints, pitchwire started on a
// free port, and a way to compare output that carries times and port numbers.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "loopback_peer.h"
#include "printed_text.h"
#include "program_runner.h"

namespace sendertest {

// The banner that "-quiet" leaves: empty line, title, version, empty line.
extern const std::string quiet_banner;

using wiretest::blank_line;
using wiretest::grouped;

// pitchwire started in dir with args; the test waits for its listening line.
struct sender_run {
    wiretest::running_program program;
    int port = 0;
};
// Starts pitchwire -quiet -port=<port, or a free one when 0> args... in dir and waits until
// it listens. Returns a program whose pid is -1 when it never got that far.
sender_run start_sender(const std::string& dir, const std::vector<std::string>& args,
                        const wiretest::run_options& options = {}, int port = 0);

// The whole stream a plain client took and the sender's result.
struct transfer_outcome {
    std::string stream;
    wiretest::program_result result;
};
// Runs pitchwire in dir with args and answers on standard input against a plain client
// that takes the whole stream. midway, when given, runs once the first bytes have arrived.
transfer_outcome run_transfer(const std::string& dir, const std::vector<std::string>& args,
                              const std::string& answers = "",
                              const std::function<void()>& midway = {});

// The output with what varies from run to run made fixed: progress lines removed, the local
// address, the peer's port and the rates replaced by "A", "P" and "R".
std::string normalized(const std::string& out);

// What a quiet run prints up to and including the empty line after the connection.
std::string connected_prefix();
// The closing lines for count bytes and the checksum of the bytes sent.
std::string totals_text(const std::string& sent_bytes);

}  // namespace sendertest
