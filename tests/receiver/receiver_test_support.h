#pragma once

// What the receiver's tests share: catchwire run in a fresh directory against a plain TCP
// sender on 127.0.0.1 that feeds it a stream of the test's own, and ways to read the
// receiver's files and output.

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "loopback_peer.h"
#include "program_runner.h"

namespace wiretest {

// catchwire connected to a plain sender, run in its own empty directory.
struct receiver_run {
    std::string dir = make_temp_dir();
    fd_guard listener{listen_loopback()};
    int connection = -1;
    running_program receiver;
    program_guard guard{receiver};
    std::thread sending;

    // args follow the port option and the destination host.
    explicit receiver_run(std::vector<std::string> args, run_options options = {},
                          const std::string& host = "127.0.0.1");
    ~receiver_run();
    // Sends in the background: the receiver stops reading while it asks for a name.
    void send(std::string bytes);
    // Waits for the sending to finish, then closes the connection in order.
    void end_stream();
    program_result finish();
    std::string file(const std::string& name) const;
    // The file's size, or -1 when there is none.
    long long size(const std::string& name) const;
    bool wait_for_size(const std::string& name, long long size) const;
};

// The output without the blanked and progress status lines, which depend on timing.
std::string without_status_lines(std::string_view out);

}  // namespace wiretest
