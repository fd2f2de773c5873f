// Batched sends and the generated modes over a socket pair.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <functional>
#include <random>
#include <thread>

#include "batched_send.h"
#include "generated_data.h"
#include "interrupts.h"
#include "sender_state.h"

namespace {

// Runs send with data_socket on a socket pair with a tiny send buffer and a reader that
// pauses often, so that the sender keeps blocking; on_trigger(data_socket) runs once
// trigger_at bytes have come. Returns what the reader took.
std::string sent_over_pair(const std::function<void()>& send, std::size_t trigger_at = 0,
                           std::function<void(int)> on_trigger = {}) {
    std::array<int, 2> ends{};
    socketpair(AF_UNIX, SOCK_STREAM, 0, ends.data());
    const int room = 4096;
    setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    data_socket = ends[0];
    std::string received;
    std::thread reader([&] {
        std::array<char, 2048> chunk{};
        ssize_t got = 0;
        do {
            received.append(chunk.data(), static_cast<std::size_t>(got));
            if (received.size() >= trigger_at && on_trigger) {
                std::exchange(on_trigger, nullptr)(ends[0]);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        } while ((got = recv(ends[1], chunk.data(), chunk.size(), 0)) > 0);
    });
    send();
    close(ends[0]);
    reader.join();
    close(ends[1]);
    return received;
}

const auto hang_up = [](int fd) { shutdown(fd, SHUT_WR); };

// A timer signal every millisecond cuts messages short in the middle of a batch; a hang-up
// after 300000 bytes makes a call fail there. Blocks of 5000 bytes split unevenly.
TEST(Sending, BatchesCutShortOrFailingAccountForEveryByteOnceInOrder) {
    std::string data(2 << 20, '\0');
    std::mt19937 random(7);
    std::generate(data.begin(), data.end(), [&] { return static_cast<char>(random()); });
    std::signal(SIGALRM, [](int) {});  // restarting calls that took nothing yet
    const itimerval every_millisecond{{0, 1000}, {0, 1000}}, off{};
    for (const std::size_t hang_up_at : {SIZE_MAX, std::size_t{300000}}) {
        for (const std::int32_t block_size : {4096, 5000, 32768}) {
            std::int32_t accepted = -1, status = -1;
            setitimer(ITIMER_REAL, &every_millisecond, nullptr);
            const std::string received = sent_over_pair(
                [&] {
                    status =
                        send_blocks(data_socket, reinterpret_cast<unsigned char*>(data.data()),
                                    static_cast<std::int32_t>(data.size()), block_size, &accepted);
                },
                hang_up_at, hang_up);
            setitimer(ITIMER_REAL, &off, nullptr);
            EXPECT_EQ(status, hang_up_at == SIZE_MAX ? 0 : 1) << block_size;
            EXPECT_EQ(received.size(), static_cast<std::size_t>(accepted)) << block_size;
            EXPECT_EQ(received.size() == data.size(), status == 0) << block_size;
            EXPECT_TRUE(data.starts_with(received)) << block_size;
        }
    }
}

// Blocks of 4100 and 20004 bytes make runs that end 12 and 4 bytes past a 16-byte store, so
// the last values are made one by one; a block below 4 bytes holds none and sends nothing.
// The totals after a send error or an abort are what the reader took, to the byte.
TEST(Sending, GeneratedPatternExactAndItsTotalsAfterASendErrorOrAnAbort) {
    const auto abort = [](int) { cancel_requested = 1; };
    // clang-format off
    const std::tuple<std::int32_t, std::size_t, std::function<void(int)>> rows[] = {
        {4100, 3 << 20, hang_up}, {20004, 1 << 20, abort}, {3, 0, abort}};
    // clang-format on
    for (const auto& [block_size, trigger_at, trigger] : rows) {
        read_size = block_size;
        pattern_counter = total_bytes_sent = data_checksum = 0;
        cancel_requested = 0;
        const std::string received = sent_over_pair(send_generated_data, trigger_at, trigger);
        std::string pattern(received.size(), '\0');
        std::uint32_t sum = 0;
        for (std::size_t at = 0; at < pattern.size(); ++at) {
            pattern[at] = static_cast<char>((at / 4) >> (8 * (at % 4)));  // little-endian values
            sum += static_cast<unsigned char>(pattern[at]);
        }
        EXPECT_TRUE(received == pattern) << block_size;  // no diff of megabytes
        EXPECT_EQ(received.empty(), block_size < 4) << block_size;
        EXPECT_EQ(total_bytes_sent, received.size());
        EXPECT_EQ(data_checksum, sum);
    }
}

// After a hang-up. Steps of 512 bytes up to 4096, then of 1024; a failed test moves on, an
// abort in the first ends the sweep; a size above the buffer is refused. More than 2 GiB in
// one test prints whole (the clock set back: 0 KBS).
TEST(Sending, SendTestSweep) {
    const std::string blank = "\r" + std::string(79, ' ') + "\r", head = "Send test with buf size ";
    const std::string sent = blank + "\nSuccessfully sent 0 bytes at 0 KBS\n",
                      failed = " bytes\n\nError: send failed: Connection Reset\n" + sent;
    // clang-format off
    const std::tuple<std::int32_t, std::int32_t, unsigned char, std::string> rows[] = {
        {3584, 5120, 0, head + "3584" + failed + head + "4096" + failed + head + "5120" + failed},
        {32769, 32769, 0, head + "32769 bytes\nError: Maximum buffer size = 32768\n"},
        {512, 32768, 1, head + "512 bytes\n" + blank + "Notice: send was aborted\n\nNotice: send was aborted\n" + sent}};
    // clang-format on
    buffer_capacity = transfer_buffer_size;
    for (const auto& [first, last, aborting, expected] : rows) {
        cancel_requested = aborting;  // test_aborted is 0 after the failed tests
        testing::internal::CaptureStdout();
        sent_over_pair([&, first = first, last = last] {
            shutdown(data_socket, SHUT_WR);
            run_send_tests(first, last, test_duration_seconds);
        });
        EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
        EXPECT_EQ(test_aborted, aborting);
    }
    testing::internal::CaptureStdout();
    print_test_result(5'000'000'000LL, 32768, 160'000, std::time(nullptr) + 9);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Successfully sent 5,000,000,000 bytes (32768) at 0 KBS\n"
              "Average byte count sent per system call: 31250\n");
}

}  // namespace
