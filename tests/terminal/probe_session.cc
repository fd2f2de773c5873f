#include "probe_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <array>
#include <cerrno>
#include <chrono>

namespace probe {

namespace {

using steady_clock = std::chrono::steady_clock;

int remaining_ms(steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The argument vector for the program at path, with the path first.
std::vector<char*> program_argv(std::string& path, const std::vector<std::string>& args) {
    std::vector<char*> argv{path.data()};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// Reads what fd has within timeout_ms into output. Returns false once the other end is
// closed (end of file, or EIO on a pseudo-terminal whose program has ended).
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

// Waits for pid until the deadline, then kills it. Returns its exit status, or -1.
int wait_for_exit(pid_t pid, steady_clock::time_point deadline) {
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0 || remaining_ms(deadline) == 0) {
            break;
        }
        poll(nullptr, 0, 5);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

}  // namespace

terminal_session start_on_terminal(const std::vector<std::string>& args) {
    return start_program_on_terminal(TERMINAL_PROBE_PATH, args);
}

terminal_session start_program_on_terminal(const std::string& program_path,
                                           const std::vector<std::string>& args) {
    terminal_session session;
    int slave_fd = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    if (openpty(&session.master_fd, &slave_fd, nullptr, nullptr, &size) != 0) {
        session.master_fd = -1;
        return session;
    }
    fcntl(session.master_fd, F_SETFD, FD_CLOEXEC);
    std::string path = program_path;
    std::vector<char*> argv = program_argv(path, args);
    session.pid = fork();
    if (session.pid == 0) {
        close(session.master_fd);
        // A new session with the pseudo-terminal as controlling terminal and stdio.
        if (login_tty(slave_fd) != 0) {
            _exit(126);
        }
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(slave_fd);
    return session;
}

std::size_t wait_for_text(terminal_session& session, std::string_view text, std::size_t offset,
                          int timeout_ms) {
    const auto deadline = steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const std::size_t found = session.output.find(text, offset);
        if (found != std::string::npos) {
            return found;
        }
        if (remaining_ms(deadline) == 0 ||
            !read_some(session.master_fd, session.output, remaining_ms(deadline))) {
            return session.output.find(text, offset);
        }
    }
}

void type_keys(const terminal_session& session, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = write(session.master_fd, bytes.data(), bytes.size());
        if (count <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

termios terminal_mode(const terminal_session& session) {
    termios mode{};
    tcgetattr(session.master_fd, &mode);
    return mode;
}

int finish(terminal_session& session, int timeout_ms) {
    const auto deadline = steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (session.master_fd >= 0 && remaining_ms(deadline) > 0 &&
           read_some(session.master_fd, session.output, remaining_ms(deadline))) {
    }
    const int status = wait_for_exit(session.pid, deadline);
    session.pid = -1;
    return status;
}

void close_terminal(terminal_session& session) {
    if (session.pid > 0) {
        kill(session.pid, SIGKILL);
        waitpid(session.pid, nullptr, 0);
        session.pid = -1;
    }
    if (session.master_fd >= 0) {
        close(session.master_fd);
        session.master_fd = -1;
    }
}

plain_result run_without_terminal(const std::vector<std::string>& args, std::string_view stdin_text,
                                  int timeout_ms) {
    plain_result result;
    std::array<int, 2> input{-1, -1};
    std::array<int, 2> output{-1, -1};
    if (pipe2(input.data(), O_CLOEXEC) != 0 || pipe2(output.data(), O_CLOEXEC) != 0) {
        return result;
    }
    std::string path = TERMINAL_PROBE_PATH;
    std::vector<char*> argv = program_argv(path, args);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();  // no controlling terminal: /dev/tty cannot be opened
        dup2(input[0], STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    signal(SIGPIPE, SIG_IGN);
    std::string_view rest = stdin_text;
    while (!rest.empty()) {
        const ssize_t count = write(input[1], rest.data(), rest.size());
        if (count <= 0) {
            break;
        }
        rest.remove_prefix(static_cast<std::size_t>(count));
    }
    close(input[1]);
    const auto deadline = steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (remaining_ms(deadline) > 0 &&
           read_some(output[0], result.output, remaining_ms(deadline))) {
    }
    close(output[0]);
    result.exit_status = wait_for_exit(pid, deadline);
    return result;
}

}  // namespace probe
