#pragma once

// What the sender's program tests share: the fixed texts it prints, a plain TCP client that
// takes its stream, and a way to compare output that carries times and port numbers.

#include <string>
#include <vector>

#include "program_runner.h"

namespace sendertest {

// The banner that "-quiet" leaves: empty line, title, version, empty line.
extern const std::string quiet_banner;
extern const std::string usage_text;
// The full banner as the program prints it with its usage and error texts.
const std::string& full_banner();

// The status line blanked out: "\r", 79 blanks, "\r".
std::string cleared_line();

// Connects to 127.0.0.1:port, retrying for up to 10 s. Returns the socket or -1.
int connect_client(int port);
// Reads until the stream ends (or 60 s pass) and closes the socket.
std::string read_to_end(int fd);
// Reads exactly count bytes (or fewer if the stream ends or 10 s pass); keeps the socket.
std::string read_some(int fd, std::size_t count);

// pitchwire started in dir with args; the test waits for its listening line.
struct sender_run {
    wiretest::running_program program;
    int port = 0;
};
// Starts pitchwire -quiet -port=<free port> args... in dir and waits until it listens.
// Returns a program whose pid is -1 when it never got that far.
sender_run start_sender(const std::string& dir, const std::vector<std::string>& args,
                        const wiretest::run_options& options = {});

// The output with what varies from run to run made fixed: progress lines removed, the local
// address, the peer's port and the rates replaced by "A", "P" and "R".
std::string normalized(const std::string& out);

// What a quiet run prints up to and including the empty line after the connection.
std::string connected_prefix();
// The closing lines for count bytes (already grouped) and the checksum text.
std::string totals_text(const std::string& count, const std::string& checksum);

}  // namespace sendertest
