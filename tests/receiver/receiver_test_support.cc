#include "receiver_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "printed_text.h"

namespace wiretest {

receiver_run::receiver_run(std::vector<std::string> args, run_options options,
                           const std::string& host) {
    options.working_directory = dir;
    args.insert(args.begin(), {"-port=" + std::to_string(bound_port(listener.fd)), host});
    receiver = start_program(catchwire_path(), args, options);
    connection = accept_within(listener.fd);
    EXPECT_NE(connection, -1) << "the receiver never connected";
}

receiver_run::~receiver_run() {
    end_stream();
}

void receiver_run::send(std::string bytes) {
    if (sending.joinable()) {
        sending.join();
    }
    sending = std::thread([this, bytes = std::move(bytes)] { send_all(connection, bytes); });
}

void receiver_run::end_stream() {
    if (sending.joinable()) {
        sending.join();
    }
    if (connection >= 0) {
        close(connection);
        connection = -1;
    }
}

program_result receiver_run::finish() {
    end_stream();
    return finish_program(receiver);
}

std::string receiver_run::file(const std::string& name) const {
    return read_file(dir + "/" + name);
}

long long receiver_run::size(const std::string& name) const {
    return file_length(dir + "/" + name);
}

bool receiver_run::wait_for_size(const std::string& name, long long size) const {
    return wait_until([&] { return this->size(name) == size; });
}

std::string without_status_lines(std::string_view out) {
    std::string text(out);
    for (std::size_t at = 0; (at = text.find(blank_line, at)) != std::string::npos;) {
        text.erase(at, blank_line.size());
    }
    for (std::size_t at = 0; (at = text.find("Recv: Total", at)) != std::string::npos;) {
        text.erase(at, text.find('\r', at) + 1 - at);
    }
    return text;
}

}  // namespace wiretest
