#include "probe_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <array>
#include <cerrno>
#include <chrono>

#include "loopback_peer.h"

namespace {

using steady_clock = std::chrono::steady_clock;

int remaining_ms(steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads what fd has within timeout_ms into output. Returns false once the other end is
// closed (EIO on a pseudo-terminal whose program has ended).
bool read_some(int fd, std::string& output, int timeout_ms) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, timeout_ms) <= 0) {
        return true;
    }
    std::array<char, 4096> buffer{};
    const ssize_t count = read(fd, buffer.data(), buffer.size());
    if (count > 0) {
        output.append(buffer.data(), static_cast<std::size_t>(count));
        return true;
    }
    return count < 0 && (errno == EINTR || errno == EAGAIN);
}

}  // namespace

terminal_session::terminal_session(const std::string& path, const std::vector<std::string>& args) {
    int slave_fd = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    if (openpty(&master_fd, &slave_fd, nullptr, nullptr, &size) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        master_fd = -1;
        return;
    }
    fcntl(master_fd, F_SETFD, FD_CLOEXEC);
    tcgetattr(master_fd, &initial_mode);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
        // A new session with the pseudo-terminal as controlling terminal and stdio.
        if (login_tty(slave_fd) != 0) {
            _exit(126);
        }
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(slave_fd);
}

terminal_session::~terminal_session() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (master_fd >= 0) {
        close(master_fd);
    }
}

std::size_t terminal_session::expect(std::string_view text, std::size_t offset) {
    const auto deadline = steady_clock::now() + std::chrono::seconds(5);
    std::size_t found = output.find(text, offset);
    while (found == std::string::npos && remaining_ms(deadline) > 0 &&
           read_some(master_fd, output, remaining_ms(deadline))) {
        found = output.find(text, offset);
    }
    if (found == std::string::npos) {
        ADD_FAILURE() << "missing " << testing::PrintToString(std::string(text)) << " in "
                      << testing::PrintToString(output);
        return output.size();
    }
    return found + text.size();
}

void terminal_session::type(std::string_view keys) const {
    // A few keys always fit in the terminal's input queue at once.
    EXPECT_EQ(write(master_fd, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
}

termios terminal_session::mode() const {
    termios mode{};
    tcgetattr(master_fd, &mode);
    return mode;
}

void terminal_session::wait_for_flag(tcflag_t flag, bool on) const {
    constexpr int mode_change_wait_ms = 5000;
    EXPECT_TRUE(wiretest::wait_until([&] { return ((mode().c_lflag & flag) != 0) == on; },
                                     mode_change_wait_ms))
        << "the terminal's mode never changed";
}

int terminal_session::finish(int timeout_ms) {
    const auto deadline = steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (master_fd >= 0 && remaining_ms(deadline) > 0 &&
           read_some(master_fd, output, remaining_ms(deadline))) {
    }
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (remaining_ms(deadline) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            pid = -1;
            return -1;
        }
        poll(nullptr, 0, 5);
    }
    pid = -1;
    if (WIFSIGNALED(status)) {
        return shell_signal_status + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}
