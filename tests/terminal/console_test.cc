#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "probe_session.h"
#include "program_runner.h"

namespace {

constexpr std::string_view question = "Abort [N]: ";

// The polling mode the console keeps while the program runs: no echo, no line editing, no
// flow control, and of the signal keys only the interrupt.
void expect_polling_mode(const termios& mode) {
    EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | ECHONL | IEXTEN), 0U);
    EXPECT_NE(mode.c_lflag & ISIG, 0U);
    EXPECT_EQ(mode.c_iflag & (ICRNL | INLCR | IGNCR | IXON), 0U);
    EXPECT_EQ(mode.c_cc[VQUIT], _POSIX_VDISABLE);
    EXPECT_EQ(mode.c_cc[VSUSP], _POSIX_VDISABLE);
    EXPECT_EQ(mode.c_cc[VMIN], 1);
    EXPECT_EQ(mode.c_cc[VTIME], 0);
}

// The program ends by itself with status 0 and leaves the terminal's mode as it found it.
void expect_clean_end(terminal_session& probe) {
    EXPECT_EQ(probe.finish(), 0);
    const termios now = probe.mode();
    EXPECT_EQ(now.c_lflag, probe.initial_mode.c_lflag);
    EXPECT_EQ(now.c_iflag, probe.initial_mode.c_iflag);
    EXPECT_EQ(now.c_oflag, probe.initial_mode.c_oflag);
    for (const int index : {VQUIT, VSUSP, VMIN, VTIME, VINTR, VEOF}) {
        EXPECT_EQ(now.c_cc[index], probe.initial_mode.c_cc[index]) << "c_cc index " << index;
    }
}

// y raises the question without answering it; n and Enter go on and blank the line; a
// second y aborts. Without a key there is no question at all.
TEST(AbortQuestion, RaisingKeyIsNeverTheAnswer) {
    terminal_session probe(probe_path, {"abort"});
    // Without a key, ask_abort asks nothing and the work goes on.
    std::size_t at = probe.expect("Working 3\r");
    expect_polling_mode(probe.mode());
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
TEST(AbortQuestion, OtherKeysAskAgainOnTheSameLine) {
    terminal_session probe(probe_path, {"abort"});
    std::size_t at = probe.expect("Working");
    // Ctrl+\ raises the question: it is a key, not a quit signal.
    probe.type("\x1c");
    const std::size_t first_question = probe.expect(question, at) - question.size();
    at = first_question + question.size();
    for (const std::string_view answer : {"x", "\x1b[A", "\x1bOP", "\x1b", "5", "\x1b[15;5~"}) {
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

TEST(KeyReading, CodesAsTheTerminalSendsThem) {
    terminal_session probe(probe_path, {"keys", "9"});
    std::size_t at = probe.expect("ready");
    probe.wait_for_flag(ISIG, false);
    // Focus and paste reports yield nothing; Ctrl+C is read as 3 and ends nothing.
    probe.type("\x1b[I\x1b[200~k\x7f\r\x03\x1b[A\x1b[1;5P");
    for (const std::string_view code : {"key 107\r\n", "key 8\r\n", "key 13\r\n", "key 3\r\n",
                                        "key 0\r\n", "key 72\r\n", "key 0\r\n", "key 94\r\n"}) {
        at = probe.expect(code, at);
    }
    probe.type("\x1b");
    probe.expect("key 27\r\n", at);
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

// Without a terminal nothing is pending, nothing blocks, and typed input is not a key.
TEST(NoTerminal, NothingPendingNothingBlocks) {
    wiretest::run_options options;
    options.timeout_ms = 5000;
    const auto checks = wiretest::run_program(probe_path, {"absent"}, options);
    EXPECT_EQ(checks.exit_status, 0);
    EXPECT_EQ(checks.out, "pending=0 key=-1 abort=0 fd=-1\n");

    options.stdin_text = "y\n";
    const auto run = wiretest::run_program(probe_path, {"abort", "20"}, options);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.out.find("Working 20\r"), std::string::npos);
    EXPECT_TRUE(run.out.ends_with("END\n")) << run.out;
    EXPECT_EQ(run.out.find(question), std::string::npos);
}

}  // namespace
