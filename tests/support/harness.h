#pragma once

// The tests' harness: the built programs run as a user would (in a session of their own, on
// pipes or on a pseudo-terminal that is their controlling terminal), plain TCP peers on
// 127.0.0.1, and temporary folders and bytes. Every wait has a deadline.

#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wt {

struct start_options {
    std::string dir{};  // working directory
    std::string input{};  // written to standard input (typed, on a terminal)
    bool keep_input = false;    // else standard input ends after input (not on a terminal)
    bool terminal = false;      // a pseudo-terminal for standard input, output and error
    bool background = false;    // on the terminal, as a job that does not own it
    long file_size_limit = -1;  // RLIMIT_FSIZE in bytes
    long open_files_limit = -1;
    std::vector<std::string> environment{};  // "NAME=value" added for the program
};

// A started program. On a terminal, out holds everything it wrote and err stays empty.
struct process {
    pid_t pid = -1;
    int input_fd = -1;  // the standard input pipe, or the terminal's master side
    int out_fd = -1;
    int err_fd = -1;
    std::string out;
    std::string err;
    termios initial_mode{};
    int status = -1;  // the exit status, or 128 + the signal that ended it, as a shell shows it
    bool timed_out = false;
    process() = default;
    process(const process&) = delete;
    process& operator=(const process&) = delete;
    ~process();  // kills the program's process group if it still runs
};

void start(process& program, const std::string& path, const std::vector<std::string>& args,
           const start_options& options);
// Waits for text on standard output (or standard error) at or after from; returns the offset
// just past it, or npos when the program ended or timeout_ms passed first.
std::size_t wait_for(process& program, std::string_view text, std::size_t from = 0,
                     int timeout_ms = 10000, bool on_stderr = false);
void type(process& program, std::string_view keys);
void end_input(process& program);
// Waits for the end, killing the program after timeout_ms, and collects its output.
void finish(process& program, int timeout_ms = 30000);
termios terminal_mode(const process& program);
// The share of a processor the program (or, on the terminal in the background, its job)
// uses over the next second: a busy loop uses 1.
double processor_share(const process& program);

// TCP on 127.0.0.1. Every socket gives up on a blocked call after 20 s.
int free_port();
int listen_on(int port);  // -1 when the port cannot be bound
int accept_from(int listen_fd, int timeout_ms = 10000);
int connect_to(int port, int timeout_ms = 10000, int receive_buffer = 0);
// Appends what arrives to bytes until the stream ends, stalls, or holds at_most bytes.
void receive(int fd, std::string& bytes, std::size_t at_most = SIZE_MAX);
bool send_bytes(int fd, std::string_view bytes);
void close_fd(int& fd, bool reset = false);  // a reset drops what is queued

std::string temp_dir();  // fresh and empty, removed when the test process ends
std::string random_bytes(std::size_t size, unsigned seed);
std::string read_file(const std::string& path);
void write_file(const std::string& path, std::string_view bytes);
long long file_size(const std::string& path);  // -1 when there is none
std::string byte_sum_hex(std::string_view bytes);
std::string grouped(std::uint64_t count);  // "1,234,567"
// The digits after the last marker in text, commas dropped; -1 when there is none.
long long count_after(std::string_view text, std::string_view marker);
std::string text_after(std::string_view text, std::string_view marker);  // up to the line end

}  // namespace wt
