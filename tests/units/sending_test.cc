// Batched sends and the generated modes over a socket pair.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <functional>
#include <future>
#include <random>
#include <thread>

#include "batched_send.h"
#include "generated_data.h"
#include "interrupts.h"
#include "sender_state.h"

namespace {

// What action printed on standard output; standard error is dropped.
template <typename Action>
std::string printed(Action action) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    action();
    testing::internal::GetCapturedStderr();
    return testing::internal::GetCapturedStdout();
}

// Reads fd to its end on a thread of its own, pausing often so that the sender keeps blocking,
// and runs on_trigger once trigger_at bytes have come. Gives up after 5 s of silence, so that
// a test that goes wrong fails instead of hanging. The timer's signal is for the sender.
std::future<std::string> drain(int fd, std::size_t trigger_at, std::function<void()> on_trigger) {
    return std::async(std::launch::async, [=]() mutable {
        sigset_t timer_signal;
        sigemptyset(&timer_signal);
        sigaddset(&timer_signal, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &timer_signal, nullptr);
        const timeval limit{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::string received;
        std::array<char, 2048> chunk{};
        ssize_t got = 0;
        do {
            received.append(chunk.data(), static_cast<std::size_t>(got));
            if (received.size() >= trigger_at && on_trigger) {
                std::exchange(on_trigger, nullptr)();
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        } while ((got = recv(fd, chunk.data(), chunk.size(), 0)) > 0);
        return received;
    });
}

// A tiny send buffer, a slow reader and a timer signal every millisecond cut messages short in
// the middle of a batch; a stopped reader shuts the sender's direction after 300000 bytes, so
// that a call fails there. Blocks of 5000 bytes split unevenly (4096 + 904).
TEST(Sending, BatchesCutShortOrFailingAccountForEveryByteOnceInOrder) {
    std::string data(2 << 20, '\0');
    std::mt19937 random(7);
    std::generate(data.begin(), data.end(), [&] { return static_cast<char>(random()); });
    struct sigaction quiet {};
    quiet.sa_handler = [](int) {};
    sigaction(SIGALRM, &quiet, nullptr);
    cancel_requested = 0;
    for (const bool stopped : {false, true}) {
        for (const std::int32_t block_size : {4096, 5000, 32768}) {
            std::array<int, 2> ends{};
            socketpair(AF_UNIX, SOCK_STREAM, 0, ends.data());
            const int room = 4096;
            setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
            auto reader =
                drain(ends[1], stopped ? 300000 : SIZE_MAX, [&] { shutdown(ends[0], SHUT_WR); });
            const itimerval every_millisecond{{0, 1000}, {0, 1000}}, off{};
            setitimer(ITIMER_REAL, &every_millisecond, nullptr);
            std::int32_t accepted = -1;
            const int status =
                send_blocks(ends[0], reinterpret_cast<unsigned char*>(data.data()),
                            static_cast<std::int32_t>(data.size()), block_size, &accepted);
            setitimer(ITIMER_REAL, &off, nullptr);
            shutdown(ends[0], SHUT_WR);
            const std::string received = reader.get();
            EXPECT_EQ(status, stopped ? 1 : 0) << block_size;
            EXPECT_EQ(static_cast<std::size_t>(accepted), received.size()) << block_size;
            EXPECT_EQ(received.size() == data.size(), !stopped) << block_size;
            EXPECT_TRUE(data.starts_with(received)) << block_size;
            close(ends[0]);
            close(ends[1]);
        }
    }
}

// Blocks of 4100 and 20004 bytes make runs that end 12 and 4 bytes past a 16-byte store, so
// the last values are made one by one; a block below 4 bytes holds none and sends nothing.
// The totals after a send error or an abort are what the reader took, to the byte.
TEST(Sending, GeneratedPatternExactAndItsTotalsAfterASendErrorOrAnAbort) {
    const std::tuple<std::int32_t, std::size_t, bool> rows[] = {
        {4100, 3 << 20, false}, {20004, 1 << 20, true}, {3, 0, true}};
    for (const auto& [block_size, trigger_at, aborting] : rows) {
        std::array<int, 2> ends{};
        socketpair(AF_UNIX, SOCK_STREAM, 0, ends.data());
        read_size = block_size;
        data_socket = ends[0];
        pattern_counter = total_bytes_sent = data_checksum = 0;
        cancel_requested = 0;
        auto reader = drain(ends[1], trigger_at, [&, aborting = aborting] {
            if (aborting) {
                cancel_requested = 1;
            } else {
                shutdown(ends[0], SHUT_WR);
            }
        });
        printed(send_generated_data);
        shutdown(ends[0], SHUT_WR);
        const std::string received = reader.get();
        std::string pattern(received.size(), '\0');
        std::uint32_t sum = 0;
        for (std::size_t at = 0; at < pattern.size(); ++at) {
            pattern[at] = static_cast<char>((at / 4) >> (8 * (at % 4)));  // little-endian values
            sum += static_cast<unsigned char>(pattern[at]);
        }
        EXPECT_EQ(received, pattern) << block_size;
        EXPECT_EQ(received.empty(), block_size < 4) << block_size;
        EXPECT_EQ(total_bytes_sent, received.size());
        EXPECT_EQ(data_checksum, sum);
        close(ends[0]);
        close(ends[1]);
    }
    cancel_requested = 0;
}

struct sweep_row {
    std::int32_t first, last, duration;
    bool aborting;  // as SIGINT asks
    std::string expected;
};

const std::string blank = "\r" + std::string(79, ' ') + "\r";
const std::string reset =
    "\nError: send failed: Connection Reset\n" + blank + "\nSuccessfully sent 0 bytes at 0 KBS\n";
std::string zeros(int size) {
    const std::string text = std::to_string(size);
    return "Send test with buf size " + text + " bytes\nSuccessfully sent 0 bytes (" + text +
           ") at 0 KBS\nAverage byte count sent per system call: 0\n";
}

// Against a closed peer. Steps of 512 bytes up to 4096, then of 1024; a failed test moves on,
// an abort in the first ends the sweep; a size above the buffer is refused.
TEST(Sending, SendTestSweep) {
    const sweep_row rows[] = {
        {3584, 5120, 0, false, zeros(3584) + zeros(4096) + zeros(5120)},
        {1024, 1536, 10, false,
         "Send test with buf size 1024 bytes\n" + reset + "Send test with buf size 1536 bytes\n" +
             reset},
        {512, 32768, 10, true,
         "Send test with buf size 512 bytes\n" + blank +
             "Notice: send was aborted\n\nNotice: send was aborted\n" + blank +
             "\nSuccessfully sent 0 bytes at 0 KBS\n"},
        {32769, 32769, 10, false,
         "Send test with buf size 32769 bytes\nError: Maximum buffer size = 32768\n"}};
    for (const sweep_row& row : rows) {
        std::array<int, 2> ends{};
        socketpair(AF_UNIX, SOCK_STREAM, 0, ends.data());
        close(ends[1]);
        data_socket = ends[0];
        buffer_capacity = transfer_buffer_size;
        test_aborted = 0;
        cancel_requested = row.aborting ? 1 : 0;
        EXPECT_EQ(printed([&] { run_send_tests(row.first, row.last, row.duration); }),
                  row.expected);
        EXPECT_EQ(test_aborted, row.aborting ? 1 : 0);
        close(ends[0]);
    }
    cancel_requested = 0;
    // More than 2 GiB in one test prints whole (the clock set back: 0 KBS).
    EXPECT_EQ(
        printed([] { print_test_result(5'000'000'000LL, 32768, 160'000, time(nullptr) + 9); }),
        "Successfully sent 5,000,000,000 bytes (32768) at 0 KBS\n"
        "Average byte count sent per system call: 31250\n");
}

}  // namespace
