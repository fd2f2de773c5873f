#include "answer_input.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console.h"
#include "interrupts.h"

namespace {

constexpr int line_complete = 0;
constexpr int input_finished = 1;
constexpr int line_too_long = 2;

// Waits until standard input has something to read (or has ended). Returns false when
// cancel_requested is set first. The interrupt signals stay blocked between the test of the
// flag and the wait, which unblocks them atomically, so an interrupt cannot slip in between
// and leave the read waiting for a line nobody types.
bool wait_for_input() {
    sigset_t interrupts;
    sigset_t previous;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    sigprocmask(SIG_BLOCK, &interrupts, &previous);
    pollfd input{0, POLLIN, 0};
    while (cancel_requested == 0 && ppoll(&input, 1, nullptr, &previous) < 0 && errno == EINTR) {
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return cancel_requested == 0;
}

// Reads characters up to the line end into line (one place more than an answer holds, for
// a "\r" before the "\n"). Stores the number kept in *length and sets *overflow when the
// line did not fit. Returns line_complete, or input_finished at end of input, after a read
// error, or when cancel_requested is set; a line that ends without its line end is still
// complete. It reads the descriptor a byte at a time, never through a buffer, so it takes
// no more than its own line and the wait before each byte sees everything there is.
int read_raw_line(std::array<char, max_name_length + 1>& line, std::size_t* length,
                  bool* overflow) {
    *length = 0;
    *overflow = false;
    for (;;) {
        if (!wait_for_input()) {
            return input_finished;
        }
        char character = 0;
        const ssize_t got = read(STDIN_FILENO, &character, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 1 && character == '\n') {
            return line_complete;
        }
        if (got == 1) {
            if (*length < line.size()) {
                line[(*length)++] = character;
            } else {
                *overflow = true;
            }
            continue;
        }
        const bool nothing_read = *length == 0 && !*overflow;
        if (got < 0 || nothing_read) {
            return input_finished;
        }
        return line_complete;
    }
}

}  // namespace

// Reads one answer line with the terminal in its normal mode. Returns 0 for a line, 1 at
// end of input or on an interrupt, 2 (after an "Error: " line) for a line that is too long.
int read_answer_line(char* answer) {
    std::array<char, max_name_length + 1> line{};
    std::size_t length = 0;
    bool overflow = false;
    console_normal_mode();
    const int status = read_raw_line(line, &length, &overflow);
    console_polling_mode();
    if (status != line_complete) {
        answer[0] = '\0';
        return status;
    }
    if (!overflow && length > 0 && line[length - 1] == '\r') {
        --length;
    }
    if (overflow || length > max_name_length) {
        answer[0] = '\0';
        std::printf("Error: Answer is longer than %zu characters\n", max_name_length);
        std::fflush(stdout);
        return line_too_long;
    }
    std::memcpy(answer, line.data(), length);
    answer[length] = '\0';
    return line_complete;
}
