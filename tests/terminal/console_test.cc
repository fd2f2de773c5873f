#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "probe_session.h"

namespace {

const std::string blank_line = "\r" + std::string(79, ' ') + "\r";
constexpr std::string_view question = "Abort [N]: ";

// The probe on a terminal, ended and closed whatever the test's outcome.
struct terminal_probe {
    probe::terminal_session session;
    termios initial_mode{};

    explicit terminal_probe(const std::vector<std::string>& args)
        : session(probe::start_on_terminal(args)) {
        initial_mode = probe::terminal_mode(session);
    }
    ~terminal_probe() {
        probe::close_terminal(session);
    }
    terminal_probe(const terminal_probe&) = delete;
    terminal_probe& operator=(const terminal_probe&) = delete;

    // Waits for text after offset and returns the position just past it.
    std::size_t expect(std::string_view text, std::size_t offset = 0) {
        const std::size_t at = probe::wait_for_text(session, text, offset);
        EXPECT_NE(at, std::string::npos) << "missing " << testing::PrintToString(std::string(text))
                                         << " in " << testing::PrintToString(session.output);
        return at == std::string::npos ? session.output.size() : at + text.size();
    }
    void type(std::string_view keys) {
        probe::type_keys(session, keys);
    }
    // Waits until read_key has switched the interrupt key off, so that a Ctrl+C typed
    // next is read as a key.
    void wait_for_key_read() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while ((probe::terminal_mode(session).c_lflag & ISIG) != 0) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "read_key never waited";
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
};

// Checks that the probe keeps the polling mode while it runs.
void expect_polling_mode(const termios& mode) {
    EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | ECHONL | IEXTEN), 0U);
    EXPECT_NE(mode.c_lflag & ISIG, 0U);
    EXPECT_EQ(mode.c_iflag & (ICRNL | INLCR | IGNCR | IXON), 0U);
    EXPECT_EQ(mode.c_cc[VQUIT], _POSIX_VDISABLE);
    EXPECT_EQ(mode.c_cc[VSUSP], _POSIX_VDISABLE);
    EXPECT_EQ(mode.c_cc[VMIN], 1);
    EXPECT_EQ(mode.c_cc[VTIME], 0);
}

void expect_same_mode(const termios& now, const termios& before) {
    EXPECT_EQ(now.c_lflag, before.c_lflag);
    EXPECT_EQ(now.c_iflag, before.c_iflag);
    EXPECT_EQ(now.c_oflag, before.c_oflag);
    EXPECT_EQ(now.c_cflag, before.c_cflag);
    for (const int index : {VQUIT, VSUSP, VMIN, VTIME, VINTR, VEOF}) {
        EXPECT_EQ(now.c_cc[index], before.c_cc[index]) << "c_cc index " << index;
    }
}

TEST(AbortQuestion, NoKeyNoQuestionAndTheRunEnds) {
    terminal_probe probe({"abort", "30"});
    probe.expect("END");
    EXPECT_EQ(probe::finish(probe.session), 0);
    EXPECT_EQ(probe.session.output.find(question), std::string::npos);
    EXPECT_NE(probe.session.output.find("Working 30\r"), std::string::npos);
}

// y raises the question without answering it; n and Enter go on and blank the line; a
// second y aborts; the terminal's mode is the polling mode meanwhile and restored at exit.
TEST(AbortQuestion, RaisingKeyIsNeverTheAnswer) {
    terminal_probe probe({"abort"});
    std::size_t at = probe.expect("Working");
    expect_polling_mode(probe::terminal_mode(probe.session));
    for (const std::string_view answer : {"n", "N", "\r"}) {
        probe.type("y");
        at = probe.expect(question, at);
        probe.type(answer);
        at = probe.expect(blank_line + "Working", at);
        EXPECT_EQ(probe.session.output.find("Y\r\n"), std::string::npos);
    }
    probe.type("Y");
    at = probe.expect(question, at);
    probe.type("y");
    probe.expect("Y\r\nABORTED\r\n", at);
    EXPECT_EQ(probe::finish(probe.session), 0);
    expect_same_mode(probe::terminal_mode(probe.session), probe.initial_mode);
}

// Unrecognised answers, function and cursor keys included, ask again in the same place:
// one question per key, so the second half of a two-part code never answers a question.
TEST(AbortQuestion, OtherKeysAskAgainOnTheSameLine) {
    terminal_probe probe({"abort"});
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
    at = probe.expect(blank_line + "Working", at);
    std::string expected;
    for (int index = 0; index < 7; ++index) {
        expected += std::string(question) + blank_line;
    }
    EXPECT_EQ(probe.session.output.substr(first_question, expected.size()), expected);
    EXPECT_EQ(probe.session.output.find('x', first_question), std::string::npos)
        << "a key was echoed";
}

// Ctrl+C at the question is an unrecognised answer; outside it, it requests the cancel.
TEST(AbortQuestion, CtrlCAtTheQuestionIsAnAnswerElsewhereACancel) {
    terminal_probe probe({"abort"});
    std::size_t at = probe.expect("Working");
    probe.type("\x1a");  // Ctrl+Z raises the question rather than suspending
    at = probe.expect(question, at);
    probe.wait_for_key_read();
    probe.type("\x03");
    at = probe.expect(blank_line + std::string(question), at);
    probe.type("\r");
    at = probe.expect(blank_line + "Working", at);
    EXPECT_EQ(probe.session.output.find("CANCELLED"), std::string::npos);
    probe.type("\x03");
    probe.expect("CANCELLED\r\n", at);
    EXPECT_EQ(probe::finish(probe.session), 0);
    expect_same_mode(probe::terminal_mode(probe.session), probe.initial_mode);
}

TEST(KeyReading, CodesAsTheTerminalSendsThem) {
    terminal_probe probe({"keys", "9"});
    std::size_t at = probe.expect("ready");
    probe.wait_for_key_read();
    // Focus and paste reports yield nothing; Ctrl+C is read as 3 and ends nothing.
    probe.type("\x1b[I\x1b[200~k\x7f\r\x03\x1b[A\x1b[1;5P");
    for (const std::string_view code : {"key 107\r\n", "key 8\r\n", "key 13\r\n", "key 3\r\n",
                                        "key 0\r\n", "key 72\r\n", "key 0\r\n", "key 94\r\n"}) {
        at = probe.expect(code, at);
    }
    probe.type("\x1b");
    probe.expect("key 27\r\n", at);
    EXPECT_EQ(probe::finish(probe.session), 0);
    expect_same_mode(probe::terminal_mode(probe.session), probe.initial_mode);
}

// Keys typed before the console is opened are still read afterwards (no flush).
TEST(KeyReading, TypedAheadKeysAreKept) {
    terminal_probe probe({"keys", "2", "300"});
    probe.type("ab");
    const std::size_t at = probe.expect("key 97\r\n");
    probe.expect("key 98\r\n", at);
    EXPECT_EQ(probe::finish(probe.session), 0);
}

// After a hang-up the console is marked gone, so a caller's poll on it cannot spin.
TEST(KeyReading, HangUpIsNoticed) {
    terminal_probe probe({"hangup"});
    probe.expect("ready");
    close(probe.session.master_fd);
    probe.session.master_fd = -1;
    EXPECT_EQ(probe::finish(probe.session), 0);
}

TEST(NoTerminal, NothingPendingNothingBlocks) {
    const probe::plain_result checks = probe::run_without_terminal({"absent"}, "");
    EXPECT_EQ(checks.exit_status, 0);
    EXPECT_EQ(checks.output, "pending=0 key=-1 abort=0 fd=-1\n");

    const probe::plain_result run = probe::run_without_terminal({"abort", "20"}, "y\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("Working 20\r"), std::string::npos);
    EXPECT_NE(run.output.find("END\n"), std::string::npos);
    EXPECT_EQ(run.output.find(question), std::string::npos);
}

}  // namespace
