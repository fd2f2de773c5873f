// send_blocks over a loopback connection with tiny buffers, a slow reader and a timer
// signal every millisecond, so that the kernel cuts messages short in the middle of a batch.
// Whatever happens, the bytes taken must be exactly the start of the data, with nothing lost
// or sent twice.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "batched_send.h"
#include "interrupts.h"
#include "loopback_peer.h"
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

// Reads the whole stream a little at a time, pausing often so that the sender keeps blocking.
// Once stop_after bytes have arrived it shuts the sender's direction, so that the sender's
// next call fails while everything it already handed over still arrives.
void read_slowly(int reader, int sender, std::size_t stop_after, std::string& bytes) {
    sigset_t timer_signal;
    sigemptyset(&timer_signal);
    sigaddset(&timer_signal, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &timer_signal, nullptr);
    std::array<char, 2048> chunk{};
    // The socket's receive timeout ends a stalled read.
    for (ssize_t got = 0; (got = recv(reader, chunk.data(), chunk.size(), 0)) > 0;) {
        const bool before_stop = bytes.size() < stop_after;
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
        if (before_stop && bytes.size() >= stop_after) {
            shutdown(sender, SHUT_WR);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
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
    // A loopback connection with the smallest buffers the system allows on both ends.
    const wiretest::fd_guard listener(wiretest::listen_loopback());
    const wiretest::fd_guard reader(
        wiretest::connect_within(wiretest::bound_port(listener.fd), 10000, socket_buffer_size));
    const wiretest::fd_guard sender(wiretest::accept_within(listener.fd));
    EXPECT_GE(sender.fd, 0);
    setsockopt(sender.fd, SOL_SOCKET, SO_SNDBUF, &socket_buffer_size, sizeof(int));
    batch_outcome outcome;
    std::thread reading(read_slowly, reader.fd, sender.fd, stop_after, std::ref(outcome.received));
    {
        const interrupting_timer timer;
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
        for (std::size_t start = 0; start < data.size() && outcome.last_status == 0;
             start += batch_length) {
            std::int32_t accepted = -1;
            outcome.last_status =
                send_blocks(sender.fd, bytes + start, batch_length, block_size, &accepted);
            EXPECT_EQ(accepted == batch_length, outcome.last_status == 0) << accepted;
            outcome.accepted += static_cast<std::uint64_t>(accepted);
        }
    }
    shutdown(sender.fd, SHUT_WR);
    reading.join();
    return outcome;
}

// Left alone, the reader takes every byte; stopped at 300000 bytes, it makes a call fail in
// the middle of a batch, which must then report exactly the bytes that went. Blocks split
// into pieces evenly, unevenly (5000 = 4096 + 904) and as a whole buffer.
TEST(batched_send, interrupted_or_failing_sends_account_for_every_byte_once_in_order) {
    cancel_requested = 0;
    const std::string data = wiretest::random_bytes(batch_length * batch_count, 7);
    for (const std::size_t stop_after : {data.size() + 1, std::size_t{300000}}) {
        const bool stopped = stop_after < data.size();
        for (const std::int32_t block_size : {4096, 5000, 32768}) {
            SCOPED_TRACE(std::to_string(block_size) + (stopped ? " stopped" : " left alone"));
            const batch_outcome outcome = send_batches(data, block_size, stop_after);
            EXPECT_EQ(outcome.last_status, stopped ? 1 : 0);
            EXPECT_EQ(outcome.accepted, outcome.received.size());
            EXPECT_EQ(outcome.received.size() == data.size(), !stopped);
            EXPECT_TRUE(data.compare(0, outcome.received.size(), outcome.received) == 0);
            if (stopped) {
                EXPECT_EQ(last_socket_error(), connection_reset);
            }
        }
    }
}

}  // namespace
