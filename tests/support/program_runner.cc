#include "program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>
#include <stdexcept>

#include "loopback_peer.h"
#include "printed_text.h"

namespace wiretest {

namespace {

using steady = std::chrono::steady_clock;

int ms_left(steady::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Moves whatever is readable on the program's output pipes into its buffers, waiting at
// most timeout_ms for something to arrive. Returns false once both pipes are closed.
bool pump_output(running_program& program, int timeout_ms) {
    std::array<pollfd, 2> fds{{{program.stdout_fd, POLLIN, 0}, {program.stderr_fd, POLLIN, 0}}};
    if (program.stdout_fd < 0 && program.stderr_fd < 0) {
        return false;
    }
    int ready = poll(fds.data(), fds.size(), timeout_ms);
    if (ready <= 0) {
        return true;
    }
    std::array<char, 65536> chunk{};
    int* descriptors[] = {&program.stdout_fd, &program.stderr_fd};
    std::string* buffers[] = {&program.out, &program.err};
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) {
            continue;
        }
        ssize_t got = read(fds[i].fd, chunk.data(), chunk.size());
        if (got > 0) {
            buffers[i]->append(chunk.data(), static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            close(*descriptors[i]);
            *descriptors[i] = -1;
        }
    }
    return true;
}

// One directory per test process, removed at exit; a plain array outlives every
// std::string destructor that runs at exit.
char temp_root_path[256];

void remove_temp_root() {
    std::error_code ignored;
    std::filesystem::remove_all(temp_root_path, ignored);
}

std::string temp_root() {
    if (temp_root_path[0] == '\0') {
        std::string pattern = (std::filesystem::temp_directory_path() / "wiretest.XXXXXX").string();
        if (pattern.size() >= sizeof temp_root_path || mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        std::snprintf(temp_root_path, sizeof temp_root_path, "%s", pattern.c_str());
        std::atexit(remove_temp_root);
    }
    return temp_root_path;
}

}  // namespace

std::string pitchwire_path() {
    return PITCHWIRE_PATH;
}

std::string catchwire_path() {
    return CATCHWIRE_PATH;
}

running_program start_program(const std::string& path, const std::vector<std::string>& args,
                              const run_options& options) {
    int in_pipe[2];
    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
        pipe2(err_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        // A session of its own: no controlling terminal, as under a service or CI.
        setsid();
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        if (!options.working_directory.empty() && chdir(options.working_directory.c_str()) != 0) {
            _exit(126);
        }
        if (options.file_size_limit >= 0) {
            rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        for (const std::string& entry : options.environment) {
            putenv(const_cast<char*>(entry.c_str()));
        }
        signal(SIGPIPE, SIG_DFL);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);

    running_program program;
    program.pid = pid;
    program.stdin_fd = in_pipe[1];
    program.stdout_fd = out_pipe[0];
    program.stderr_fd = err_pipe[0];
    if (!options.stdin_text.empty()) {
        write_stdin(program, options.stdin_text);
    }
    if (!options.stdin_open) {
        close_stdin(program);
    }
    return program;
}

bool wait_for_output(running_program& program, std::string_view needle, int timeout_ms,
                     bool on_stderr) {
    const std::string& text = on_stderr ? program.err : program.out;
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    while (text.find(needle) == std::string::npos) {
        if (steady::now() >= deadline || !pump_output(program, std::min(ms_left(deadline), 50))) {
            return text.find(needle) != std::string::npos;
        }
    }
    return true;
}

void write_stdin(running_program& program, std::string_view text) {
    signal(SIGPIPE, SIG_IGN);
    while (!text.empty() && program.stdin_fd >= 0) {
        ssize_t put = write(program.stdin_fd, text.data(), text.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(put));
    }
}

void close_stdin(running_program& program) {
    if (program.stdin_fd >= 0) {
        close(program.stdin_fd);
        program.stdin_fd = -1;
    }
}

program_result finish_program(running_program& program, int timeout_ms) {
    program_result result;
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    int status = 0;
    while (waitpid(program.pid, &status, WNOHANG) != program.pid) {
        if (steady::now() >= deadline) {
            result.timed_out = true;
            kill(program.pid, SIGKILL);
            waitpid(program.pid, &status, 0);
            break;
        }
        pump_output(program, std::min(ms_left(deadline), 20));
    }
    // Collect what is still in the pipes (a grandchild holding them open is not waited for).
    auto drain_deadline = steady::now() + std::chrono::seconds(2);
    while ((program.stdout_fd >= 0 || program.stderr_fd >= 0) && steady::now() < drain_deadline) {
        pump_output(program, 50);
    }
    close_stdin(program);
    for (int* fd : {&program.stdout_fd, &program.stderr_fd}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
    program.pid = -1;
    if (WIFEXITED(status)) {
        result.exit_status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.term_signal = WTERMSIG(status);
    }
    result.out = program.out;
    result.err = program.err;
    return result;
}

program_guard::~program_guard() {
    if (program.pid > 0) {
        // Each program leads a process group of its own; a shell's children go with it.
        kill(-program.pid, SIGKILL);
        finish_program(program, 0);
    }
}

program_result run_program(const std::string& path, const std::vector<std::string>& args,
                           const run_options& options) {
    running_program program = start_program(path, args, options);
    return finish_program(program, options.timeout_ms);
}

int free_port() {
    const fd_guard probe(listen_loopback());
    if (probe.fd < 0) {
        throw std::runtime_error("no free port");
    }
    return bound_port(probe.fd);
}

std::string make_temp_dir() {
    static int serial = 0;
    std::string dir = temp_root() + "/t" + std::to_string(++serial);
    std::filesystem::create_directories(dir);
    return dir;
}

std::string write_file(const std::string& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

long long file_length(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_size : -1;
}

std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xff);
    }
    return bytes;
}

std::string text_after(std::string_view out, std::string_view marker) {
    const std::size_t at = out.rfind(marker);
    if (at == std::string_view::npos) {
        return {};
    }
    const std::string_view rest = out.substr(at + marker.size());
    return std::string(rest.substr(0, rest.find('\n')));
}

std::uint64_t count_after(std::string_view out, std::string_view prefix) {
    std::string digits = text_after(out, prefix);
    digits = digits.substr(0, digits.find_first_not_of("0123456789,"));
    std::erase(digits, ',');
    return digits.empty() ? UINT64_MAX : std::stoull(digits);
}

std::string checksum_hex(std::string_view bytes) {
    const std::uint32_t sum = std::accumulate(
        bytes.begin(), bytes.end(), std::uint32_t{0},
        [](std::uint32_t total, char byte) { return total + static_cast<unsigned char>(byte); });
    return hex32(sum);
}

}  // namespace wiretest
