#pragma once

// Runs a program on a pseudo-terminal of its own (its controlling terminal and its standard
// input and output) and plays the operator at its keyboard.

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <string_view>
#include <vector>

#include "printed_text.h"

// The terminal probe the tests drive (see terminal_probe.cc).
inline const std::string probe_path = TERMINAL_PROBE_PATH;
using wiretest::blank_line;

// What finish() adds to the number of a signal that ended the program.
constexpr int shell_signal_status = 128;

struct terminal_session {
    pid_t pid = -1;
    int master_fd = -1;
    std::string output;      // everything the program printed so far
    termios initial_mode{};  // the terminal's mode before the program started

    // Starts path with args on a fresh pseudo-terminal; master_fd is -1 when that failed.
    terminal_session(const std::string& path, const std::vector<std::string>& args);
    // Kills the program if it still runs and closes the terminal.
    ~terminal_session();
    terminal_session(const terminal_session&) = delete;
    terminal_session& operator=(const terminal_session&) = delete;

    // Waits up to 5 s for text at or after offset and returns the position just past it; when
    // it does not come, fails the test and returns the end of the output.
    std::size_t expect(std::string_view text, std::size_t offset = 0);
    // Sends bytes as if typed on the keyboard.
    void type(std::string_view keys) const;
    // The terminal's current mode.
    termios mode() const;
    // Waits up to 5 s until the local-mode flag is on (or off); fails the test otherwise.
    void wait_for_flag(tcflag_t flag, bool on) const;
    // Waits for the program to end (killing it after timeout_ms), collecting the rest of its
    // output. Returns its exit status, 128 + the signal's number when a signal ended it (as a
    // shell shows it), or -1 when it had to be killed. The terminal stays open for mode().
    int finish(int timeout_ms = 5000);
};
