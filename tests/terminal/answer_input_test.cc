#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

#include "answer_input.h"
#include "interrupts.h"

#include "probe_session.h"
#include "program_runner.h"

namespace {

// The probe's answer loop on piped input: each answer as "Answer: result N [text]".
std::string answers_for(const std::string& input) {
    wiretest::run_options options;
    options.stdin_text = input;
    options.timeout_ms = 5000;
    const wiretest::program_result run = wiretest::run_program(probe_path, {"answer"}, options);
    EXPECT_EQ(run.exit_status, 0);
    return run.out;
}

TEST(AnswerLine, LinesWithoutTheirEndsThenEndOfInput) {
    EXPECT_EQ(answers_for("first\nsecond\r\n\nlast"),
              "Answer: result 0 [first]\n"
              "Answer: result 0 [second]\n"
              "Answer: result 0 []\n"
              "Answer: result 0 [last]\n"
              "Answer: result 1 []\n");
    EXPECT_EQ(answers_for(""), "Answer: result 1 []\n");
}

TEST(AnswerLine, LongestAnswerAndOneBeyond) {
    const std::string longest(511, 'a');
    const std::string refused =
        "Answer: Error: Answer is longer than 511 characters\nresult 2 []\n";
    // The refused answer's rest is dropped, with or without an end of line after it.
    EXPECT_EQ(
        answers_for(longest + "\r\n" + std::string(512, 'b') + "\nnext\n" + std::string(700, 'd')),
        "Answer: result 0 [" + longest + "]\n" + refused + "Answer: result 0 [next]\n" + refused +
            "Answer: result 1 []\n");
}

// An interrupt that came just before the read ends it at once; it must not leave the read
// waiting for a line (here one typed two seconds later) nobody means to type.
TEST(AnswerLine, InterruptBeforeTheReadEndsItAtOnce) {
    std::array<int, 2> pipe_fds{};
    ASSERT_EQ(pipe(pipe_fds.data()), 0);
    const int saved_stdin = dup(STDIN_FILENO);
    dup2(pipe_fds[0], STDIN_FILENO);
    std::atomic<bool> typed = false;
    std::thread late_typist([&] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_EQ(write(pipe_fds[1], "late\n", 5), 5);
        typed = true;
    });
    cancel_requested = 1;
    std::array<char, max_name_length + 1> answer{};
    const int status = read_answer_line(answer.data());
    EXPECT_FALSE(typed) << "the read waited for the late line";
    cancel_requested = 0;
    late_typist.join();
    dup2(saved_stdin, STDIN_FILENO);
    for (const int fd : {saved_stdin, pipe_fds[0], pipe_fds[1]}) {
        close(fd);
    }
    EXPECT_EQ(status, 1);
    EXPECT_STREQ(answer.data(), "");
}

// On a terminal the answer is read in the normal mode (Enter ends the line, the answer is
// echoed), and the polling mode is back once the line is read; Ctrl+C ends the reading.
TEST(AnswerLine, TerminalIsInNormalModeForTheRead) {
    terminal_session terminal(probe_path, {"answer"});
    // A new terminal starts in the normal mode: the read's switch comes after the prompt.
    terminal.expect("Answer: ");
    terminal.wait_for_flag(ICANON, true);
    terminal.type("hello\r");
    // The probe reports whether line editing was off right after the read.
    std::size_t at = terminal.expect("result 0 [hello] canonical=0\r\n");
    EXPECT_NE(terminal.output.find("hello\r\n"), std::string::npos) << "no echo";

    terminal.wait_for_flag(ICANON, true);
    terminal.type("par");
    terminal.type("\x03");
    terminal.expect("result 1 [] canonical=0\r\n", at);
    EXPECT_EQ(terminal.finish(), 0);
    EXPECT_EQ(terminal.mode().c_lflag, terminal.initial_mode.c_lflag);
    EXPECT_EQ(terminal.mode().c_iflag, terminal.initial_mode.c_iflag);
}

}  // namespace
