// The sender's wait for a receiver sleeps in poll() on the listening socket and the terminal.
// While another job owns the terminal, input waiting there is not ours to read, so the
// terminal must not be offered to poll: it would report that input again and again and
// turn the wait into a busy loop.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "console.h"

namespace {

// Exit codes of the job that checks the terminal.
constexpr int offered_while_in_background = 10;
constexpr int not_offered_in_foreground = 11;
constexpr int could_not_take_the_terminal = 12;

// Runs in a process group of its own on the session's terminal, first as a background job,
// then in the foreground. Returns 0 when the terminal is offered only in the foreground.
int check_as_a_job(int terminal_fd) {
    if (setpgid(0, 0) != 0) {
        return could_not_take_the_terminal;
    }
    open_console();
    if (console_input_fd() != -1) {
        return offered_while_in_background;
    }
    // A background job that takes the terminal would be stopped by SIGTTOU otherwise.
    std::signal(SIGTTOU, SIG_IGN);
    if (tcsetpgrp(terminal_fd, getpgrp()) != 0) {
        return could_not_take_the_terminal;
    }
    return console_input_fd() == -1 ? not_offered_in_foreground : 0;
}

// Becomes the leader of a new session whose terminal is the slave side, keeps it in the
// foreground without reading it, and returns the job's exit code.
int run_session(int slave_fd) {
    if (setsid() < 0 || ioctl(slave_fd, TIOCSCTTY, 0) != 0) {
        return could_not_take_the_terminal;
    }
    const pid_t job = fork();
    if (job == 0) {
        _exit(check_as_a_job(slave_fd));
    }
    int status = 0;
    if (job < 0 || waitpid(job, &status, 0) != job || !WIFEXITED(status)) {
        return could_not_take_the_terminal;
    }
    return WEXITSTATUS(status);
}

TEST(SenderBackgroundWait, TerminalIsOfferedToPollOnlyInTheForeground) {
    int master_fd = -1;
    int slave_fd = -1;
    ASSERT_EQ(openpty(&master_fd, &slave_fd, nullptr, nullptr, nullptr), 0);
    // A whole line waits on the terminal, readable in any mode, and nobody reads it.
    ASSERT_EQ(write(master_fd, "x\r", 2), 2);

    const pid_t session = fork();
    ASSERT_NE(session, -1);
    if (session == 0) {
        close(master_fd);
        _exit(run_session(slave_fd));
    }
    close(slave_fd);
    int status = 0;
    ASSERT_EQ(waitpid(session, &status, 0), session);
    close(master_fd);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
