// The programs' waits sleep in poll() on their socket and the terminal. While another job
// owns the terminal, input waiting there is not ours to read, so the terminal must not be
// offered to poll: it would report that input again and again and turn the wait into a busy
// loop. Nor may a background job touch the terminal's mode, which would stop it.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "console.h"

namespace {

// Exit codes of the job that checks the terminal.
enum job_result {
    offered_only_in_foreground = 0,
    offered_in_background = 10,
    not_offered_in_foreground,
    no_terminal,
    stopped_in_background
};

// Runs in a process group of its own on the session's terminal, first as a background job,
// then in the foreground.
int check_as_a_job(int terminal_fd) {
    if (setpgid(0, 0) != 0) {
        return no_terminal;
    }
    open_console();
    if (console_input_fd() != -1) {
        return offered_in_background;
    }
    // A background job that takes the terminal would be stopped by SIGTTOU otherwise.
    std::signal(SIGTTOU, SIG_IGN);
    if (tcsetpgrp(terminal_fd, getpgrp()) != 0) {
        return no_terminal;
    }
    return console_input_fd() == -1 ? not_offered_in_foreground : offered_only_in_foreground;
}

// The exit code of child; stopped_in_background when it was stopped (by SIGTTOU for touching
// the terminal), which ends it; no_terminal when it did not exit by itself.
int exit_code_of(pid_t child) {
    int status = 0;
    if (child <= 0 || waitpid(child, &status, WUNTRACED) != child) {
        return no_terminal;
    }
    if (WIFSTOPPED(status)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return stopped_in_background;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : no_terminal;
}

TEST(BackgroundJob, TerminalIsOfferedToPollOnlyInTheForeground) {
    int master_fd = -1;
    int slave_fd = -1;
    ASSERT_EQ(openpty(&master_fd, &slave_fd, nullptr, nullptr, nullptr), 0);
    // A whole line waits on the terminal, readable in any mode, and nobody reads it.
    ASSERT_EQ(write(master_fd, "x\r", 2), 2);

    // The session leader keeps the terminal in the foreground without reading it.
    const pid_t session = fork();
    if (session == 0) {
        close(master_fd);
        if (setsid() < 0 || ioctl(slave_fd, TIOCSCTTY, 0) != 0) {
            _exit(no_terminal);
        }
        const pid_t job = fork();
        if (job == 0) {
            _exit(check_as_a_job(slave_fd));
        }
        _exit(exit_code_of(job));
    }
    close(slave_fd);
    const int result = exit_code_of(session);
    close(master_fd);
    EXPECT_EQ(result, offered_only_in_foreground);
}

}  // namespace
