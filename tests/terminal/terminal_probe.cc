// A small program that exercises the terminal layer for the tests, which run it on a
// pseudo-terminal or without any terminal.
//
//   terminal_probe abort [iterations]   status line + ask_abort until Y, a signal or the end
//   terminal_probe keys count [delay_ms] read_key count times (opening the console late)
//   terminal_probe answer               read_answer_line until it returns 1
//   terminal_probe hangup               ask_abort until the terminal is noticed gone

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "answer_input.h"
#include "console.h"
#include "interrupts.h"

namespace {

void pause_ms(int milliseconds) {
    poll(nullptr, 0, milliseconds);
}

int run_abort_loop(int iterations) {
    install_signal_handlers();
    for (int iteration = 1; iterations <= 0 || iteration <= iterations; ++iteration) {
        std::printf("Working %d\r", iteration);
        std::fflush(stdout);
        if (ask_abort() == 1) {
            std::printf("ABORTED\n");
            return 0;
        }
        if (cancel_requested != 0) {
            clear_status_line();
            std::printf("CANCELLED\n");
            return 0;
        }
        pause_ms(10);
    }
    clear_status_line();
    std::printf("END\n");
    return 0;
}

int run_key_reads(int count) {
    for (int index = 0; index < count; ++index) {
        std::printf("key %d\n", read_key());
        std::fflush(stdout);
    }
    return 0;
}

int run_answers() {
    install_signal_handlers();
    std::array<char, max_name_length + 1> answer{};
    for (;;) {
        std::printf("Answer: ");
        std::fflush(stdout);
        const int status = read_answer_line(answer.data());
        std::printf("result %d [%s]", status, answer.data());
        termios mode{};
        if (tcgetattr(STDIN_FILENO, &mode) == 0) {
            std::printf(" canonical=%d", (mode.c_lflag & ICANON) != 0 ? 1 : 0);
        }
        std::printf("\n");
        std::fflush(stdout);
        if (status == 1) {
            return 0;
        }
    }
}

int run_until_hangup() {
    std::signal(SIGHUP, SIG_IGN);
    std::printf("ready\n");
    std::fflush(stdout);
    for (int iteration = 0; iteration < 2000; ++iteration) {
        ask_abort();
        if (console_input_fd() < 0) {
            return 0;
        }
        pause_ms(5);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    const std::string_view mode = argv[1];
    const int first = argc > 2 ? std::atoi(argv[2]) : 0;
    const int second = argc > 3 ? std::atoi(argv[3]) : 0;
    if (mode == "keys" && second > 0) {
        pause_ms(second);
    }
    open_console();
    if (mode == "abort") {
        return run_abort_loop(first);
    }
    if (mode == "keys") {
        return run_key_reads(first);
    }
    if (mode == "answer") {
        return run_answers();
    }
    if (mode == "hangup") {
        return run_until_hangup();
    }
    return 2;
}
