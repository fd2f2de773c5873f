#include "answer_input.h"

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

// Reads characters up to the line end into line (one place more than an answer holds, for
// a "\r" before the "\n"). Stores the number kept in *length and sets *overflow when the
// line did not fit. Returns line_complete, or input_finished at end of input, after a read
// error, or when a signal interrupted the read with cancel_requested set; a line that ends
// without its line end is still complete.
int read_raw_line(std::array<char, max_name_length + 1>& line, std::size_t* length,
                  bool* overflow) {
    *length = 0;
    *overflow = false;
    for (;;) {
        const int character = std::getc(stdin);
        if (character == '\n') {
            return line_complete;
        }
        if (character != EOF) {
            if (*length < line.size()) {
                line[(*length)++] = static_cast<char>(character);
            } else {
                *overflow = true;
            }
            continue;
        }
        if (std::ferror(stdin) != 0 && errno == EINTR && cancel_requested == 0) {
            // Some other signal: go on reading the same line.
            std::clearerr(stdin);
            continue;
        }
        const bool nothing_read = *length == 0 && !*overflow;
        if (std::ferror(stdin) != 0 || nothing_read) {
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
