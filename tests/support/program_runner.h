#pragma once

// Runs the built programs as a user would: in a session of their own (no controlling
// terminal), with chosen arguments and standard input, and collects what they print.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wiretest {

// Paths of the programs under test.
std::string pitchwire_path();
std::string catchwire_path();

struct run_options {
    std::string stdin_text;                // fed to standard input, which then ends
    bool stdin_open = false;               // keep standard input open (a pipe nobody writes)
    std::string working_directory;         // empty: the test's own
    long file_size_limit = -1;             // RLIMIT_FSIZE in bytes for the child; -1 = none
    int timeout_ms = 30000;                // the child is killed after this
    std::vector<std::string> environment;  // "NAME=value" entries added for the child
};

struct program_result {
    int exit_status = -1;  // exit status, or -1 when the program died of a signal
    int term_signal = 0;   // the signal that ended it, 0 if none
    bool timed_out = false;
    std::string out;  // standard output
    std::string err;  // standard error
};

struct running_program {
    pid_t pid = -1;
    int stdin_fd = -1;
    int stdout_fd = -1;
    int stderr_fd = -1;
    std::string out;  // collected so far
    std::string err;
};

// Starts a program and returns at once.
running_program start_program(const std::string& path, const std::vector<std::string>& args,
                              const run_options& options = {});
// Reads output until needle appears on standard output (or standard error when
// on_stderr); false if the program ends or timeout_ms passes first.
bool wait_for_output(running_program& program, std::string_view needle, int timeout_ms = 10000,
                     bool on_stderr = false);
// Writes text to the program's standard input.
void write_stdin(running_program& program, std::string_view text);
void close_stdin(running_program& program);
// Waits for the end (killing the program after timeout_ms) and collects all output.
program_result finish_program(running_program& program, int timeout_ms = 30000);
// Ends a started program (and any children in its process group) when the test leaves its
// scope, so that a failed assertion never leaves a process behind.
struct program_guard {
    running_program& program;
    explicit program_guard(running_program& running) : program(running) {}
    program_guard(const program_guard&) = delete;
    program_guard& operator=(const program_guard&) = delete;
    ~program_guard();
};

// start_program and finish_program in one.
program_result run_program(const std::string& path, const std::vector<std::string>& args,
                           const run_options& options = {});

// A TCP port on 127.0.0.1 that was free a moment ago.
int free_port();
// A fresh empty directory for one test, removed when the test process ends.
std::string make_temp_dir();
// A file of the given bytes; returns its path.
std::string write_file(const std::string& path, std::string_view bytes);
std::string read_file(const std::string& path);
// The size of the file at path, or -1 when there is none.
long long file_length(const std::string& path);
// Deterministic pseudo-random bytes.
std::string random_bytes(std::size_t size, unsigned seed = 1);
// The text between the last marker in out and the next end of line; "" without marker.
std::string text_after(std::string_view out, std::string_view marker);
// The count (digits with grouping commas) after the last prefix in out, as in
// "Successfully sent 1,234 bytes"; UINT64_MAX when there is none.
std::uint64_t count_after(std::string_view out, std::string_view prefix);

// The 32-bit byte sum printed as "TCPIP Data Checksum: %x".
std::string checksum_hex(std::string_view bytes);

}  // namespace wiretest
