// send_blocks over a loopback connection with tiny buffers, a slow reader and a timer
// signal every millisecond, so that the kernel cuts messages short in the middle of a batch.
// Whatever happens, the bytes taken must be exactly the start of the data, with nothing lost
// or sent twice.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "batched_send.h"
#include "interrupts.h"
#include "program_runner.h"
#include "socket_layer.h"

namespace {

constexpr std::int32_t batch_length = 32768;
constexpr std::size_t batch_count = 64;
constexpr int socket_buffer_size = 4096;
constexpr int connection_reset = 10054;

void do_nothing(int /*signal_number*/) {}

// SIGALRM every millisecond, without SA_RESTART, for as long as it lives.
struct interrupting_timer {
    interrupting_timer() {
        struct sigaction action {};
        action.sa_handler = do_nothing;
        sigemptyset(&action.sa_mask);
        sigaction(SIGALRM, &action, &saved_action);
        const itimerval every_millisecond{{0, 1000}, {0, 1000}};
        setitimer(ITIMER_REAL, &every_millisecond, nullptr);
    }
    ~interrupting_timer() {
        const itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &saved_action, nullptr);
    }
    interrupting_timer(const interrupting_timer&) = delete;
    interrupting_timer& operator=(const interrupting_timer&) = delete;
    struct sigaction saved_action {};
};

struct small_pair {
    int sender = -1;
    int reader = -1;
};

// A loopback connection with the smallest buffers the system allows on both ends.
small_pair make_small_pair() {
    small_pair pair;
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    pair.reader = socket(AF_INET, SOCK_STREAM, 0);
    setsockopt(pair.reader, SOL_SOCKET, SO_RCVBUF, &socket_buffer_size, sizeof(int));
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        listen(listener, 1) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        connect(pair.reader, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        pair.sender = accept(listener, nullptr, nullptr);
    }
    close(listener);
    setsockopt(pair.sender, SOL_SOCKET, SO_SNDBUF, &socket_buffer_size, sizeof(int));
    // A sender stuck for good ends its call instead of holding the test.
    const timeval deadline{20, 0};
    setsockopt(pair.sender, SOL_SOCKET, SO_SNDTIMEO, &deadline, sizeof deadline);
    return pair;
}

// Reads the whole stream a little at a time, pausing often so that the sender keeps blocking.
// Once stop_after bytes have arrived it shuts the sender's direction, so that the sender's
// next call fails while everything it already handed over still arrives.
struct slow_reader {
    std::string bytes;
    std::thread thread;
};

void start_slow_reader(slow_reader& reader, const small_pair& pair, std::size_t stop_after) {
    reader.thread = std::thread([&bytes = reader.bytes, pair, stop_after] {
        sigset_t timer_signal;
        sigemptyset(&timer_signal);
        sigaddset(&timer_signal, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &timer_signal, nullptr);
        std::array<char, 2048> chunk{};
        bool stopped = false;
        for (;;) {
            pollfd watched{pair.reader, POLLIN, 0};
            if (poll(&watched, 1, 20000) <= 0) {
                return;
            }
            const ssize_t got = recv(pair.reader, chunk.data(), chunk.size(), 0);
            if (got <= 0) {
                return;
            }
            bytes.append(chunk.data(), static_cast<std::size_t>(got));
            if (!stopped && bytes.size() >= stop_after) {
                shutdown(pair.sender, SHUT_WR);
                stopped = true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
}

struct batch_outcome {
    int last_status = 0;
    std::uint64_t accepted = 0;  // sum of every call's *accepted
    std::string received;
};

// Sends data in batches of batch_length bytes cut into blocks of block_size, under the timer,
// until all went or a call failed; a batch that fails must report fewer bytes than it holds.
batch_outcome send_batches(const std::string& data, std::int32_t block_size,
                           std::size_t stop_after) {
    const small_pair pair = make_small_pair();
    EXPECT_GE(pair.sender, 0);
    batch_outcome outcome;
    slow_reader reader;
    start_slow_reader(reader, pair, stop_after);
    {
        const interrupting_timer timer;
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
        for (std::size_t start = 0; start < data.size() && outcome.last_status == 0;
             start += batch_length) {
            std::int32_t accepted = -1;
            outcome.last_status =
                send_blocks(pair.sender, bytes + start, batch_length, block_size, &accepted);
            EXPECT_EQ(accepted == batch_length, outcome.last_status == 0) << accepted;
            outcome.accepted += static_cast<std::uint64_t>(accepted);
        }
    }
    shutdown(pair.sender, SHUT_WR);
    reader.thread.join();
    outcome.received = std::move(reader.bytes);
    close(pair.sender);
    close(pair.reader);
    return outcome;
}

// Blocks that split into pieces evenly, unevenly (5000 = 4096 + 904) and a whole buffer.
constexpr std::array<std::int32_t, 3> block_sizes{4096, 5000, 32768};

TEST(batched_send, interrupted_sends_deliver_every_byte_once_in_order) {
    cancel_requested = 0;
    const std::string data = wiretest::random_bytes(batch_length * batch_count, 7);
    for (const std::int32_t block_size : block_sizes) {
        SCOPED_TRACE(block_size);
        const batch_outcome outcome = send_batches(data, block_size, data.size() + 1);
        EXPECT_EQ(outcome.last_status, 0);
        EXPECT_EQ(outcome.accepted, data.size());
        EXPECT_TRUE(outcome.received == data) << outcome.received.size();
    }
}

TEST(batched_send, failure_in_mid_batch_reports_exactly_the_bytes_that_went) {
    cancel_requested = 0;
    const std::string data = wiretest::random_bytes(batch_length * batch_count, 8);
    for (const std::int32_t block_size : block_sizes) {
        SCOPED_TRACE(block_size);
        const batch_outcome outcome = send_batches(data, block_size, 300000);
        EXPECT_EQ(outcome.last_status, 1);
        EXPECT_EQ(last_socket_error(), connection_reset);
        EXPECT_EQ(outcome.accepted, outcome.received.size());
        EXPECT_TRUE(data.compare(0, outcome.received.size(), outcome.received) == 0);
    }
}

}  // namespace
