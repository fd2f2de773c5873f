#include "loopback_reader.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

namespace streamcheck {

loopback_pair make_loopback_pair() {
    loopback_pair pair;
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool listening =
        listener >= 0 && bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        listen(listener, 1) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    EXPECT_TRUE(listening);
    if (listening) {
        pair.reader = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(pair.reader, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            pair.sender = accept(listener, nullptr, nullptr);
        }
    }
    if (listener >= 0) {
        close(listener);
    }
    EXPECT_GE(pair.sender, 0);
    // A stalled sender must not hold the test for ever.
    const timeval receive_timeout{20, 0};
    setsockopt(pair.reader, SOL_SOCKET, SO_RCVTIMEO, &receive_timeout, sizeof receive_timeout);
    return pair;
}

void start_reading(stream_reader& reader, int reader_socket, std::uint64_t trigger_at,
                   std::function<void()> on_trigger) {
    reader.thread = std::thread(
        [&tally = reader.tally, reader_socket, trigger_at, on_trigger = std::move(on_trigger)] {
            std::array<unsigned char, 65536> chunk{};
            bool triggered = false;
            for (;;) {
                const ssize_t got = recv(reader_socket, chunk.data(), chunk.size(), 0);
                if (got <= 0) {
                    return;
                }
                tally.take(chunk.data(), static_cast<std::size_t>(got));
                if (!triggered && tally.count >= trigger_at && on_trigger) {
                    triggered = true;
                    on_trigger();
                }
            }
        });
}

void finish_reading(stream_reader& reader, int sender_socket) {
    shutdown(sender_socket, SHUT_WR);
    if (reader.thread.joinable()) {
        reader.thread.join();
    }
}

}  // namespace streamcheck
