#include "sender_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <thread>

// Retries every 20 ms.
int connect_to_sender(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const timeval receive_timeout{20, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receive_timeout, sizeof receive_timeout);
            return fd;
        }
        close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

// A receive timeout of 20 s counts as a stall.
bool read_stream(int fd, streamcheck::stream_tally& tally, std::uint64_t until_count) {
    std::array<unsigned char, 65536> chunk{};
    while (until_count == 0 || tally.count < until_count) {
        const ssize_t got = recv(fd, chunk.data(), chunk.size(), 0);
        if (got <= 0) {
            return until_count == 0 && got == 0;
        }
        tally.take(chunk.data(), static_cast<std::size_t>(got));
    }
    return true;
}
