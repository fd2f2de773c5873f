#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "probe_session.h"
#include "program_runner.h"

namespace {

constexpr std::string_view question = "Abort [N]: ";

// The program ends by itself with status 0 and leaves the terminal's mode as it found it.
void expect_clean_end(terminal_session& probe) {
    EXPECT_EQ(probe.finish(), 0);
    const termios now = probe.mode();
    const termios& before = probe.initial_mode;
    EXPECT_EQ(now.c_lflag, before.c_lflag);
    EXPECT_EQ(now.c_iflag, before.c_iflag);
    EXPECT_EQ(now.c_oflag, before.c_oflag);
    EXPECT_TRUE(std::equal(std::begin(now.c_cc), std::end(now.c_cc), std::begin(before.c_cc)));
}

// y raises the question without answering it; n and Enter go on and blank the line; a
// second y aborts. Without a key there is no question at all.
TEST(AbortQuestion, RaisingKeyIsNeverTheAnswer) {
    terminal_session probe(probe_path, {"abort"});
    // Without a key, ask_abort asks nothing and the work goes on.
    std::size_t at = probe.expect("Working 3\r");
    EXPECT_EQ(probe.output.find(question), std::string::npos);
    for (const std::string_view answer : {"n", "N", "\r"}) {
        probe.type("y");
        at = probe.expect(question, at);
        probe.type(answer);
        at = probe.expect(blank_line + "Working", at);
        EXPECT_EQ(probe.output.find("Y\r\n"), std::string::npos);
    }
    probe.type("Y");
    at = probe.expect(question, at);
    probe.type("y");
    probe.expect("Y\r\nABORTED\r\n", at);
    expect_clean_end(probe);
}

// Unrecognised answers, function and cursor keys included, ask again in the same place:
// one question per key, so the second half of a two-part code never answers a question.
// Ctrl+S must not stop the output, nor Ctrl+\ quit the program.
TEST(AbortQuestion, OtherKeysAskAgainOnTheSameLine) {
    terminal_session probe(probe_path, {"abort"});
    std::size_t at = probe.expect("Working");
    // Ctrl+\ raises the question: it is a key, not a quit signal.
    probe.type("\x1c");
    const std::size_t first_question = probe.expect(question, at) - question.size();
    at = first_question + question.size();
    for (const std::string_view answer : {"x", "\x1b[A", "\x1bOP", "\x1b", "\x13", "\x1b[15;5~"}) {
        probe.type(answer);
        at = probe.expect(blank_line + std::string(question), at);
    }
    probe.type("n");
    probe.expect(blank_line + "Working", at);
    std::string expected;
    for (int index = 0; index < 7; ++index) {
        expected += std::string(question) + blank_line;
    }
    EXPECT_EQ(probe.output.substr(first_question, expected.size()), expected);
    EXPECT_EQ(probe.output.find('x', first_question), std::string::npos) << "a key was echoed";
}

// Ctrl+C at the question is an unrecognised answer; outside it, it requests the cancel.
TEST(AbortQuestion, CtrlCAtTheQuestionIsAnAnswerElsewhereACancel) {
    terminal_session probe(probe_path, {"abort"});
    std::size_t at = probe.expect("Working");
    probe.type("\x1a");  // Ctrl+Z raises the question rather than suspending
    at = probe.expect(question, at);
    probe.wait_for_flag(ISIG, false);  // read_key reads Ctrl+C as a key
    probe.type("\x03");
    at = probe.expect(blank_line + std::string(question), at);
    probe.type("\r");
    at = probe.expect(blank_line + "Working", at);
    EXPECT_EQ(probe.output.find("CANCELLED"), std::string::npos);
    probe.type("\x03");
    probe.expect("CANCELLED\r\n", at);
    expect_clean_end(probe);
}

// Keys typed before the console is opened are still read afterwards (no flush).
TEST(KeyReading, TypedAheadKeysAreKept) {
    terminal_session probe(probe_path, {"keys", "2", "300"});
    probe.type("ab");
    probe.expect("key 98\r\n", probe.expect("key 97\r\n"));
    EXPECT_EQ(probe.finish(), 0);
}

// After a hang-up the console is marked gone, so a caller's poll on it cannot spin.
TEST(KeyReading, HangUpIsNoticed) {
    terminal_session probe(probe_path, {"hangup"});
    probe.expect("ready");
    close(probe.master_fd);
    probe.master_fd = -1;
    EXPECT_EQ(probe.finish(), 0);
}

// Without a terminal nothing blocks and typed input is not a key.
TEST(NoTerminal, InputIsNotAKey) {
    wiretest::run_options options;
    options.stdin_text = "y\n";
    options.timeout_ms = 5000;
    const auto run = wiretest::run_program(probe_path, {"abort", "20"}, options);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(run.out.ends_with("Working 20\r" + blank_line + "END\n")) << run.out;
    EXPECT_EQ(run.out.find(question), std::string::npos);
}

}  // namespace
