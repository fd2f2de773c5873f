#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <string>
#include <thread>

#include "probe_session.h"

namespace {

// The probe's answer loop on piped input: each answer as "Answer: result N [text]".
std::string answers_for(std::string_view input) {
    const probe::plain_result run = probe::run_without_terminal({"answer"}, input);
    EXPECT_EQ(run.exit_status, 0);
    return run.output;
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
    EXPECT_EQ(answers_for(longest + "\n" + longest + "\r\n"),
              "Answer: result 0 [" + longest + "]\nAnswer: result 0 [" + longest +
                  "]\nAnswer: result 1 []\n");
    const std::string refused = "Error: Answer is longer than 511 characters\nresult 2 []\n";
    EXPECT_EQ(answers_for(std::string(512, 'b') + "\n" + std::string(600, 'c') + "\nnext\n" +
                          std::string(700, 'd')),
              "Answer: " + refused + "Answer: " + refused +
                  "Answer: result 0 [next]\nAnswer: " + refused + "Answer: result 1 []\n");
}

struct answer_terminal {
    probe::terminal_session session = probe::start_on_terminal({"answer"});
    ~answer_terminal() {
        probe::close_terminal(session);
    }
    answer_terminal() = default;
    answer_terminal(const answer_terminal&) = delete;
    answer_terminal& operator=(const answer_terminal&) = delete;

    // Waits until the line read has put the normal mode back, then types keys.
    void type_when_normal(std::string_view keys) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while ((probe::terminal_mode(session).c_lflag & ICANON) == 0) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "normal mode never set";
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        probe::type_keys(session, keys);
    }
};

// On a terminal the answer is read in the normal mode (Enter ends the line, the answer is
// echoed), and the polling mode is back once the line is read; Ctrl+C ends the reading.
TEST(AnswerLine, TerminalIsInNormalModeForTheRead) {
    answer_terminal terminal;
    const termios initial = probe::terminal_mode(terminal.session);
    terminal.type_when_normal("hello\r");
    // The probe reports whether line editing was off right after the read.
    std::size_t at = probe::wait_for_text(terminal.session, "result 0 [hello] canonical=0\r\n");
    ASSERT_NE(at, std::string::npos) << terminal.session.output;
    EXPECT_NE(terminal.session.output.find("hello\r\n"), std::string::npos) << "no echo";

    terminal.type_when_normal("par");
    terminal.type_when_normal("\x03");
    at = probe::wait_for_text(terminal.session, "result 1 [] canonical=0\r\n", at);
    EXPECT_NE(at, std::string::npos) << terminal.session.output;
    EXPECT_EQ(probe::finish(terminal.session), 0);
    const termios final_mode = probe::terminal_mode(terminal.session);
    EXPECT_EQ(final_mode.c_lflag, initial.c_lflag);
    EXPECT_EQ(final_mode.c_iflag, initial.c_iflag);
}

}  // namespace
