#include "receiver_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "number_format.h"
#include "receiver_options.h"

namespace wiretest {

plain_sender listen_on_loopback(int port) {
    plain_sender sender;
    sender.listen_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(sender.listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(sender.listen_fd, 1), 0);
    getsockname(sender.listen_fd, reinterpret_cast<sockaddr*>(&address), &length);
    sender.port = ntohs(address.sin_port);
    return sender;
}

bool accept_receiver(plain_sender& sender) {
    pollfd waiting{sender.listen_fd, POLLIN, 0};
    if (poll(&waiting, 1, 10000) != 1) {
        return false;
    }
    sender.connection = accept4(sender.listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    return sender.connection >= 0;
}

void close_sender(plain_sender& sender, bool abortive) {
    if (sender.connection >= 0 && abortive) {
        const linger reset{1, 0};
        setsockopt(sender.connection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    for (int* fd : {&sender.connection, &sender.listen_fd}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

receiver_run::receiver_run(std::vector<std::string> args, run_options options) {
    options.working_directory = dir;
    args.insert(args.begin(), {"-port=" + std::to_string(sender.port), "127.0.0.1"});
    receiver = start_program(catchwire_path(), args, options);
    EXPECT_TRUE(accept_receiver(sender));
}

receiver_run::~receiver_run() {
    end_stream();
    if (receiver.pid > 0) {
        finish_program(receiver, 0);
    }
}

void receiver_run::send(std::string bytes) {
    if (sending.joinable()) {
        sending.join();
    }
    sending = std::thread([this, bytes = std::move(bytes)] {
        std::string_view rest = bytes;
        ssize_t sent = 0;
        while (!rest.empty() &&
               (sent = ::send(sender.connection, rest.data(), rest.size(), MSG_NOSIGNAL)) > 0) {
            rest.remove_prefix(static_cast<std::size_t>(sent));
        }
    });
}

void receiver_run::end_stream(bool abortive) {
    if (sending.joinable()) {
        sending.join();
    }
    close_sender(sender, abortive);
}

program_result receiver_run::finish(bool abortive) {
    end_stream(abortive);
    return finish_program(receiver);
}

std::string receiver_run::file(const std::string& name) const {
    return read_file(dir + "/" + name);
}

long long receiver_run::size(const std::string& name) const {
    struct stat status {};
    const std::string path = dir + "/" + name;
    return stat(path.c_str(), &status) == 0 ? static_cast<long long>(status.st_size) : -1;
}

bool receiver_run::wait_for_size(const std::string& name, long long size) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (this->size(name) != size) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string without_status_lines(std::string_view out) {
    const std::string blank_line = "\r" + std::string(79, ' ') + "\r";
    std::string text(out);
    for (std::size_t at = 0; (at = text.find(blank_line, at)) != std::string::npos;) {
        text.erase(at, blank_line.size());
    }
    for (std::size_t at = 0; (at = text.find("Recv: Total", at)) != std::string::npos;) {
        text.erase(at, text.find('\r', at) + 1 - at);
    }
    return text;
}

std::string full_banner() {
    std::fflush(stdout);
    std::FILE* capture = std::tmpfile();
    const int saved = dup(1);
    dup2(fileno(capture), 1);
    print_full_banner();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text(static_cast<std::size_t>(std::ftell(capture)), '\0');
    std::rewind(capture);
    text.resize(std::fread(text.data(), 1, text.size(), capture));
    std::fclose(capture);
    return text;
}

std::string counted(std::string_view bytes) {
    char count[count_text_size];
    format_count(bytes.size(), count);
    return std::string(count) + " bytes at ";
}

std::string line_after(const std::string& out, const std::string& marker) {
    const std::size_t at = out.rfind(marker);
    if (at == std::string::npos) {
        return "";
    }
    const std::size_t from = at + marker.size();
    return out.substr(from, out.find('\n', from) - from);
}

}  // namespace wiretest
