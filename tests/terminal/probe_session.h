#pragma once

// Runs the terminal probe on a pseudo-terminal of its own (its controlling terminal and its
// standard input and output), or in a new session without any terminal.

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <string_view>
#include <vector>

namespace probe {

struct terminal_session {
    pid_t pid = -1;
    int master_fd = -1;
    std::string output;  // everything the probe printed so far
};

struct plain_result {
    int exit_status = -1;  // -1 when killed or timed out
    std::string output;
};

// Starts the probe with args on a fresh pseudo-terminal; master_fd is -1 on failure.
terminal_session start_on_terminal(const std::vector<std::string>& args);
// The same for another program.
terminal_session start_program_on_terminal(const std::string& path,
                                           const std::vector<std::string>& args);
// Collects output until text appears at or after offset; returns its position, or
// std::string::npos when the probe ends or timeout_ms passes first.
std::size_t wait_for_text(terminal_session& session, std::string_view text, std::size_t offset = 0,
                          int timeout_ms = 5000);
// Sends bytes as if typed on the keyboard.
void type_keys(const terminal_session& session, std::string_view bytes);
// The terminal's current mode, as the probe sees it.
termios terminal_mode(const terminal_session& session);
// Waits for the probe to end (killing it after timeout_ms), collecting the rest of its
// output. Returns its exit status, or -1 when it died of a signal or was killed. The
// terminal stays open for terminal_mode until close_terminal.
int finish(terminal_session& session, int timeout_ms = 5000);
void close_terminal(terminal_session& session);

// Runs the probe in a new session with no controlling terminal, stdin_text on its standard
// input and its output collected.
plain_result run_without_terminal(const std::vector<std::string>& args, std::string_view stdin_text,
                                  int timeout_ms = 5000);

}  // namespace probe
