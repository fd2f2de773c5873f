#pragma once

// What the receiver's tests share: catchwire run in a fresh directory against a plain TCP
// sender on 127.0.0.1 that feeds it a stream of the test's own, and ways to read the
// receiver's files and output.

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "program_runner.h"

namespace wiretest {

// A listening socket on 127.0.0.1 (on port, or one the kernel picks when port is 0) and
// the one connection it accepts.
struct plain_sender {
    int listen_fd = -1;
    int connection = -1;
    int port = 0;
};
plain_sender listen_on_loopback(int port = 0);
// Accepts the receiver's connection; false when none comes within 10 seconds.
bool accept_receiver(plain_sender& sender);
// Ends the stream in order, or with a reset when abortive is set.
void close_sender(plain_sender& sender, bool abortive = false);

// catchwire connected to a plain sender, run in its own empty directory.
struct receiver_run {
    std::string dir = make_temp_dir();
    plain_sender sender = listen_on_loopback();
    running_program receiver;
    std::thread sending;

    // args follow the port option and the address 127.0.0.1.
    explicit receiver_run(std::vector<std::string> args, run_options options = {});
    ~receiver_run();
    // Sends in the background: the receiver stops reading while it asks for a name.
    void send(std::string bytes);
    // Waits for the sending to finish, then closes the connection.
    void end_stream(bool abortive = false);
    program_result finish(bool abortive = false);
    std::string file(const std::string& name) const;
    // The file's size, or -1 when there is none.
    long long size(const std::string& name) const;
    bool wait_for_size(const std::string& name, long long size) const;
};

// The output without the blanked and progress status lines, which depend on timing.
std::string without_status_lines(std::string_view out);
// The full banner, with its notice lines.
std::string full_banner();
// "N bytes at " with the grouped count of bytes, as the summary lines show it.
std::string counted(std::string_view bytes);
// The text between the last marker in out and the next end of line; "" without marker.
std::string line_after(const std::string& out, const std::string& marker);

}  // namespace wiretest
