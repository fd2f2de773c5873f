#pragma once

// The tests' harness: the built programs run as a user would (in a session of their own, on
// pipes or on a pseudo-terminal that is their controlling terminal), plain TCP peers on
// 127.0.0.1, and temporary folders and bytes. Every wait has a deadline; every socket gives
// up on a blocked call after 20 s.

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace wt {

struct start_options {
    std::string dir{};        // working directory
    std::string input{};      // written to standard input (typed, on a terminal)
    bool keep_input = false;  // else standard input ends after input (not on a terminal)
    bool terminal = false;    // a pseudo-terminal for standard input, output and error
};

// A started program. On a terminal, out holds everything it wrote and err stays empty.
struct process {
    pid_t pid = -1;
    int input_fd = -1;  // the standard input pipe, or the terminal's master side
    std::array<int, 2> output_fds{-1, -1};
    std::string out;
    std::string err;
    termios initial_mode{};
    int status = -1;  // the exit status, or 128 + the signal that ended it, as a shell shows it
    process() = default;
    process(const process&) = delete;
    process& operator=(const process&) = delete;
    ~process();  // kills the program's process group if it still runs
};

using steady = std::chrono::steady_clock;

// Moves what the program wrote into out and err, waiting at most timeout_ms for it. False
// once both outputs are closed.
inline bool pump(process& program, int timeout_ms) {
    std::array<pollfd, 2> fds{
        {{program.output_fds[0], POLLIN, 0}, {program.output_fds[1], POLLIN, 0}}};
    if (fds[0].fd < 0 && fds[1].fd < 0) {
        return false;
    }
    if (poll(fds.data(), fds.size(), timeout_ms) <= 0) {
        return true;
    }
    std::array<char, 65536> chunk{};
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        const ssize_t got = read(fds[i].fd, chunk.data(), chunk.size());
        if (got > 0) {
            (i == 0 ? program.out : program.err)
                .append(chunk.data(), static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            // The terminal's master side stays open: closing it would hang the program up.
            if (fds[i].fd != program.input_fd) {
                close(fds[i].fd);
            }
            program.output_fds[i] = -1;
        }
    }
    return true;
}

// Writes all of bytes to fd (a pipe, a terminal or a socket) unless the reader is gone.
inline void write_all(int fd, std::string_view bytes) {
    signal(SIGPIPE, SIG_IGN);
    while (!bytes.empty() && fd >= 0) {
        const ssize_t put = write(fd, bytes.data(), bytes.size());
        if (put <= 0 && errno != EINTR) {
            return;
        }
        bytes.remove_prefix(put > 0 ? static_cast<std::size_t>(put) : 0);
    }
}

inline void close_fd(int& fd, bool reset = false) {
    const linger abortive{1, 0};
    if (reset) {
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    close(fd);  // nothing happens to -1
    fd = -1;
}

inline void start(process& program, const std::string& path, std::vector<std::string> args,
                  const start_options& options) {
    std::array<int, 6> pipes{-1, -1, -1, -1, -1, -1};  // standard input, output and error
    int terminal = -1;
    if (options.terminal) {
        openpty(&program.input_fd, &terminal, nullptr, nullptr, nullptr);
        fcntl(program.input_fd, F_SETFD, FD_CLOEXEC);
        tcgetattr(terminal, &program.initial_mode);
        pipes = {terminal, -1, -1, terminal, -1, terminal};
    } else {
        for (int i = 0; i < 6; i += 2) {
            pipe2(&pipes[i], O_CLOEXEC);
        }
    }
    program.pid = fork();
    if (program.pid == 0) {
        setsid();
        ioctl(terminal, TIOCSCTTY, 0);
        for (const int fd : {0, 1, 2}) {
            dup2(pipes[fd == 0 ? 0 : 2 * fd + 1], fd);
        }
        if (!options.dir.empty() && chdir(options.dir.c_str()) != 0) {
            _exit(126);
        }
        close_range(3, ~0U, 0);  // only the standard streams, whatever the test runner left open
        signal(SIGPIPE, SIG_DFL);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    if (options.terminal) {
        close(terminal);
        program.output_fds[0] = program.input_fd;
    } else {
        for (const int end : {0, 3, 5}) {
            close(pipes[static_cast<std::size_t>(end)]);
        }
        program.input_fd = pipes[1];
        program.output_fds = {pipes[2], pipes[4]};
    }
    write_all(program.input_fd, options.input);
    if (!options.keep_input && !options.terminal) {
        close_fd(program.input_fd);
    }
}

inline std::size_t wait_for(process& program, std::string_view text, std::size_t from,
                            int timeout_ms) {
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t at = std::string::npos;
    while ((at = program.out.find(text, from)) == std::string::npos && steady::now() < deadline &&
           pump(program, 50)) {
    }
    return at == std::string::npos ? at : at + text.size();
}

inline void finish(process& program, int timeout_ms = 30000) {
    if (program.pid <= 0) {
        return;
    }
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    int wait_status = 0;
    while (waitpid(program.pid, &wait_status, WNOHANG) != program.pid) {
        if (steady::now() >= deadline) {
            // Hence 128 + SIGKILL, which no row expects of a program it leaves alone.
            kill(-program.pid, SIGKILL);
            waitpid(program.pid, &wait_status, 0);
            break;
        }
        pump(program, 20);
    }
    // What is still in the pipes; a child of a shell holding them open is not waited for.
    const auto drain_deadline = steady::now() + std::chrono::seconds(2);
    while (pump(program, 50) && steady::now() < drain_deadline) {
    }
    // As a shell shows it: the exit status, or 128 + the signal that ended the program.
    program.status =
        WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    program.pid = -1;
}

inline process::~process() {
    if (pid > 0) {
        kill(-pid, SIGKILL);
        finish(*this, 0);
    }
    for (int* fd : {&output_fds[0], &output_fds[1], &input_fd}) {
        close_fd(*fd);  // twice on a terminal's master side, the second time to no effect
    }
}

inline termios terminal_mode(const process& program) {
    termios mode{};
    tcgetattr(program.input_fd, &mode);
    return mode;
}

// The processor time of the program, or of its first child when it runs under a shell, over
// one second.
inline double processor_share(const process& program) {
    const std::string task = "/proc/" + std::to_string(program.pid) + "/task/";
    pid_t pid = program.pid;
    if (pid_t child = 0; std::ifstream(task + std::to_string(pid) + "/children") >> child) {
        pid = child;
    }
    const auto cpu_ns = [pid] {
        double ns = std::nan("");  // fails the caller's comparison
        std::ifstream("/proc/" + std::to_string(pid) + "/schedstat") >> ns;
        return ns;
    };
    const double before = cpu_ns();
    usleep(1000000);
    return (cpu_ns() - before) / 1e9;
}

inline int bounded(int fd) {
    const timeval limit{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

// A TCP socket on 127.0.0.1:port, listening or connected (with a receive buffer of
// receive_buffer bytes when it is positive); -1 when that fails.
inline int tcp_socket(int port, bool listening, int receive_buffer = 0) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const auto* where = reinterpret_cast<const sockaddr*>(&address);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (receive_buffer > 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
    if (listening ? bind(fd, where, sizeof address) != 0 || listen(fd, 1) != 0
                  : connect(fd, where, sizeof address) != 0) {
        close_fd(fd);
    }
    return fd < 0 ? fd : bounded(fd);
}

inline int free_port() {
    int fd = tcp_socket(0, true);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close_fd(fd);
    return ntohs(address.sin_port);
}

inline int accept_from(int listen_fd, int timeout_ms) {
    pollfd waiting{listen_fd, POLLIN, 0};
    if (listen_fd < 0 || poll(&waiting, 1, timeout_ms) != 1) {
        return -1;
    }
    return bounded(accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC));
}

inline int connect_to(int port, int timeout_ms, int receive_buffer = 0) {
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    int fd = -1;
    while ((fd = tcp_socket(port, false, receive_buffer)) < 0 && steady::now() < deadline) {
        usleep(20000);
    }
    return fd;
}

inline void receive(int fd, std::string& bytes, std::size_t at_most = SIZE_MAX) {
    std::array<char, 65536> chunk{};
    const std::size_t goal = at_most == SIZE_MAX ? SIZE_MAX : bytes.size() + at_most;
    while (fd >= 0 && bytes.size() < goal) {
        const ssize_t got = recv(fd, chunk.data(), std::min(chunk.size(), goal - bytes.size()), 0);
        if (got <= 0 && !(got < 0 && errno == EINTR)) {
            return;
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
}

inline std::string temp_dir() {
    std::string dir = "/tmp/wt.XXXXXX";
    return mkdtemp(dir.data()) == nullptr ? "" : dir;
}

inline std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(generator()); });
    return bytes;
}

inline long long file_size(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 ? status.st_size : -1;
}

inline std::string read_file(const std::string& path, std::size_t at_most = SIZE_MAX) {
    std::string bytes(std::min<std::size_t>(at_most, std::max(file_size(path), 0LL)), '\0');
    std::ifstream(path, std::ios::binary)
        .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

}  // namespace wt
