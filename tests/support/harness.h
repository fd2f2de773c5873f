#pragma once

// The tests' harness: the built programs run as a user would (in a session of their own, on
// pipes or on a pseudo-terminal that is their controlling terminal), plain TCP peers on
// 127.0.0.1, and temporary folders and bytes. Every wait has a deadline; every socket gives
// up on a blocked call after 20 s.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace wt {

struct start_options {
    std::string dir{};          // working directory
    std::string input{};        // written to standard input (typed, on a terminal)
    bool keep_input = false;    // else standard input ends after input (not on a terminal)
    bool terminal = false;      // a pseudo-terminal for standard input, output and error
    bool background = false;    // on the terminal, as a job that does not own it
    long file_size_limit = -1;  // RLIMIT_FSIZE in bytes
    long open_files_limit = -1;
    std::vector<std::string> environment{};  // "NAME=value" added for the program
};

// A started program. On a terminal, out holds everything it wrote and err stays empty.
struct process {
    pid_t pid = -1;
    int input_fd = -1;  // the standard input pipe, or the terminal's master side
    int out_fd = -1;
    int err_fd = -1;
    std::string out;
    std::string err;
    termios initial_mode{};
    int status = -1;  // the exit status, or 128 + the signal that ended it, as a shell shows it
    bool timed_out = false;
    process() = default;
    process(const process&) = delete;
    process& operator=(const process&) = delete;
    ~process();  // kills the program's process group if it still runs
};

using steady = std::chrono::steady_clock;

inline int ms_left(steady::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Moves what the program wrote into its buffers, waiting at most timeout_ms for it. False
// once both outputs are closed.
inline bool pump(process& program, int timeout_ms) {
    std::array<pollfd, 2> fds{{{program.out_fd, POLLIN, 0}, {program.err_fd, POLLIN, 0}}};
    if (program.out_fd < 0 && program.err_fd < 0) {
        return false;
    }
    if (poll(fds.data(), fds.size(), timeout_ms) <= 0) {
        return true;
    }
    std::array<char, 65536> chunk{};
    std::array<int*, 2> descriptors{&program.out_fd, &program.err_fd};
    std::array<std::string*, 2> texts{&program.out, &program.err};
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) {
            continue;
        }
        const ssize_t got = read(fds[i].fd, chunk.data(), chunk.size());
        if (got > 0) {
            texts[i]->append(chunk.data(), static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            // The terminal's master side stays open: closing it would hang the program up.
            if (*descriptors[i] != program.input_fd) {
                close(*descriptors[i]);
            }
            *descriptors[i] = -1;
        }
    }
    return true;
}

inline void exec_program(const std::string& path, const std::vector<std::string>& args,
                         const start_options& options) {
    if (!options.dir.empty() && chdir(options.dir.c_str()) != 0) {
        _exit(126);
    }
    close_range(3, ~0U, 0);  // only the standard streams, whatever the test runner left open
    for (const auto& [resource, value] : {std::pair{RLIMIT_FSIZE, options.file_size_limit},
                                          std::pair{RLIMIT_NOFILE, options.open_files_limit}}) {
        if (value >= 0) {
            const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
            setrlimit(resource, &limit);
        }
    }
    for (const std::string& entry : options.environment) {
        putenv(const_cast<char*>(entry.c_str()));
    }
    signal(SIGPIPE, SIG_DFL);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
}

inline int shell_status(int wait_status) {
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

// The session leader on a terminal keeps it in the foreground and runs the program as a
// job of its own, which therefore does not own the terminal.
[[noreturn]] inline void run_in_background(const std::string& path,
                                           const std::vector<std::string>& args,
                                           const start_options& options) {
    const pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        exec_program(path, args, options);
    }
    int wait_status = 0;
    while (waitpid(job, &wait_status, WUNTRACED) == job && WIFSTOPPED(wait_status)) {
        kill(job, SIGKILL);  // stopped for touching the terminal: a fault
    }
    _exit(shell_status(wait_status));
}

inline char temp_root[256];

inline void remove_temp_root() {
    std::error_code ignored;
    std::filesystem::remove_all(temp_root, ignored);
}

inline double cpu_seconds(pid_t pid) {
    std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat_file, text);
    unsigned long long user = 0;
    unsigned long long system = 0;
    const std::size_t name_end = text.rfind(')');
    if (name_end == std::string::npos ||
        std::sscanf(text.c_str() + name_end + 1,
                    " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                    &system) != 2) {
        return -1;
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

inline int bounded(int fd) {
    const timeval limit{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

inline sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

inline void type(process& program, std::string_view keys) {
    signal(SIGPIPE, SIG_IGN);
    while (!keys.empty() && program.input_fd >= 0) {
        const ssize_t put = write(program.input_fd, keys.data(), keys.size());
        if (put <= 0 && errno != EINTR) {
            return;
        }
        keys.remove_prefix(put > 0 ? static_cast<std::size_t>(put) : 0);
    }
}

inline void end_input(process& program) {
    if (program.input_fd >= 0 && program.input_fd != program.out_fd) {
        close(program.input_fd);
        program.input_fd = -1;
    }
}

inline void close_fd(int& fd, bool reset = false) {
    if (fd >= 0) {
        if (reset) {
            const linger abortive{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        }
        close(fd);
        fd = -1;
    }
}

inline void start(process& program, const std::string& path, const std::vector<std::string>& args,
                  const start_options& options) {
    std::array<int, 2> in{-1, -1};
    std::array<int, 2> out{-1, -1};
    std::array<int, 2> err{-1, -1};
    int terminal = -1;
    if (options.terminal) {
        if (openpty(&program.input_fd, &terminal, nullptr, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        fcntl(program.input_fd, F_SETFD, FD_CLOEXEC);
        tcgetattr(terminal, &program.initial_mode);
        program.out_fd = program.input_fd;
    } else if (pipe2(in.data(), O_CLOEXEC) != 0 || pipe2(out.data(), O_CLOEXEC) != 0 ||
               pipe2(err.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    program.pid = fork();
    if (program.pid == 0) {
        setsid();
        if (options.terminal) {
            ioctl(terminal, TIOCSCTTY, 0);
            for (const int fd : {0, 1, 2}) {
                dup2(terminal, fd);
            }
            if (options.background) {
                run_in_background(path, args, options);
            }
        } else {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
        }
        exec_program(path, args, options);
    }
    if (options.terminal) {
        close(terminal);
    } else {
        close(in[0]);
        close(out[1]);
        close(err[1]);
        program.input_fd = in[1];
        program.out_fd = out[0];
        program.err_fd = err[0];
    }
    type(program, options.input);
    if (!options.keep_input && !options.terminal) {
        end_input(program);
    }
}

inline std::size_t wait_for(process& program, std::string_view text, std::size_t from = 0,
                            int timeout_ms = 10000, bool on_stderr = false) {
    const std::string& seen = on_stderr ? program.err : program.out;
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t at = std::string::npos;
    while ((at = seen.find(text, from)) == std::string::npos && steady::now() < deadline &&
           pump(program, std::min(ms_left(deadline), 50))) {
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
            program.timed_out = true;
            kill(-program.pid, SIGKILL);
            waitpid(program.pid, &wait_status, 0);
            break;
        }
        pump(program, std::min(ms_left(deadline), 20));
    }
    // What is still in the pipes; a child of a shell holding them open is not waited for.
    const auto drain_deadline = steady::now() + std::chrono::seconds(2);
    while (pump(program, 50) && steady::now() < drain_deadline) {
    }
    program.status = shell_status(wait_status);
    program.pid = -1;
}

inline process::~process() {
    if (pid > 0) {
        kill(-pid, SIGKILL);
        finish(*this, 0);
    }
    for (const int fd : {input_fd, out_fd == input_fd ? -1 : out_fd, err_fd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

inline termios terminal_mode(const process& program) {
    termios mode{};
    tcgetattr(program.input_fd, &mode);
    return mode;
}

inline double processor_share(const process& program) {
    pid_t pid = program.pid;
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                           "/children");
    children >> pid;  // the job, when the program runs in the background
    const double before = cpu_seconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double after = cpu_seconds(pid);
    return before < 0 || after < 0 ? 1 : after - before;
}

inline int listen_on(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback(port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 1) != 0) {
        close_fd(fd);
    }
    return fd;
}

inline int free_port() {
    int fd = listen_on(0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close_fd(fd);
    return ntohs(address.sin_port);
}

inline int accept_from(int listen_fd, int timeout_ms = 10000) {
    pollfd waiting{listen_fd, POLLIN, 0};
    if (listen_fd < 0 || poll(&waiting, 1, timeout_ms) != 1) {
        return -1;
    }
    const int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? -1 : bounded(fd);
}

inline int connect_to(int port, int timeout_ms = 10000, int receive_buffer = 0) {
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    const sockaddr_in address = loopback(port);
    do {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receive_buffer > 0) {
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        }
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            return bounded(fd);
        }
        close_fd(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (steady::now() < deadline);
    return -1;
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

inline bool send_bytes(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (put <= 0 && errno != EINTR) {
            return false;
        }
        bytes.remove_prefix(put > 0 ? static_cast<std::size_t>(put) : 0);
    }
    return true;
}

inline std::string temp_dir() {
    static int serial = 0;
    if (temp_root[0] == '\0') {
        std::string pattern = (std::filesystem::temp_directory_path() / "wt.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        std::snprintf(temp_root, sizeof temp_root, "%s", pattern.c_str());
        std::atexit(remove_temp_root);
    }
    std::string dir = std::string(temp_root) + "/" + std::to_string(++serial);
    std::filesystem::create_directory(dir);
    return dir;
}

inline std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator());
    }
    return bytes;
}

inline std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

inline void write_file(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline long long file_size(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 ? status.st_size : -1;
}

inline std::string byte_sum_hex(std::string_view bytes) {
    std::uint32_t sum = 0;
    for (const char byte : bytes) {
        sum += static_cast<unsigned char>(byte);
    }
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%x", sum);
    return text.data();
}

inline std::string text_after(std::string_view text, std::string_view marker) {
    const std::size_t at = text.rfind(marker);
    if (at == std::string_view::npos) {
        return {};
    }
    const std::string_view rest = text.substr(at + marker.size());
    return std::string(rest.substr(0, rest.find_first_of("\r\n")));
}

inline long long count_after(std::string_view text, std::string_view marker) {
    std::string digits = text_after(text, marker);
    digits = digits.substr(0, digits.find_first_not_of("0123456789,"));
    std::erase(digits, ',');
    return digits.empty() ? -1 : std::stoll(digits);
}

}  // namespace wt
