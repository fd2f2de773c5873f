// Batched sends and the generated modes over a socket pair.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <functional>
#include <numeric>
#include <thread>

#include "batched_send.h"
#include "generated_data.h"
#include "interrupts.h"
#include "sender_state.h"

namespace {

using bytes = std::vector<unsigned char>;

// Value k as a little-endian 32-bit number at bytes 4k to 4k+3: no two blocks alike.
bytes counting_pattern(std::size_t length) {
    bytes pattern(length);
    for (std::size_t at = 0; at < length; ++at) {
        pattern[at] = static_cast<unsigned char>((at / 4) >> (8 * (at % 4)));
    }
    return pattern;
}

// What the reader does to the sender once enough bytes have come.
void (*const hang_up)() = [] { shutdown(data_socket, SHUT_WR); };
void (*const abort_send)() = [] { cancel_requested = 1; };

// Runs send with data_socket on a socket pair with a tiny send buffer and a reader that
// pauses often, so that the sender keeps blocking; nothing is cancelled at first, and
// on_trigger runs once trigger_at bytes have come. Returns what the reader took.
bytes sent_over_pair(const std::function<void()>& send, std::size_t trigger_at = 0,
                     void (*on_trigger)() = nullptr) {
    std::array<int, 2> ends{};
    socketpair(AF_UNIX, SOCK_STREAM, 0, ends.data());
    const int room = 4096;
    setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    data_socket = ends[0];
    cancel_requested = 0;
    bytes received;
    std::thread reader([&] {
        std::array<unsigned char, 2048> chunk{};
        ssize_t got = 0;
        do {
            received.insert(received.end(), chunk.begin(), chunk.begin() + got);
            if (received.size() >= trigger_at && on_trigger != nullptr) {
                std::exchange(on_trigger, nullptr)();
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

// A timer signal every millisecond cuts messages short in the middle of a batch; a hang-up
// after 300000 bytes makes a call fail there. Blocks of 5000 bytes split unevenly.
TEST(Sending, BatchesCutShortOrFailingAccountForEveryByteOnceInOrder) {
    constexpr std::int32_t length = 2 << 20;
    const bytes data = counting_pattern(length);
    std::signal(SIGALRM, [](int) {});  // restarting calls that took nothing yet
    const itimerval every_millisecond{{0, 1000}, {0, 1000}}, off{};
    setitimer(ITIMER_REAL, &every_millisecond, nullptr);
    const std::pair<std::int32_t, std::size_t> rows[] = {
        {4096, SIZE_MAX}, {5000, SIZE_MAX}, {32768, SIZE_MAX}, {4096, 300000}, {5000, 300000}};
    for (const auto& [block_size, hang_up_at] : rows) {
        std::int32_t accepted = -1, status = -1;
        const bytes received = sent_over_pair(
            [&] { status = send_blocks(data_socket, data.data(), length, block_size, &accepted); },
            hang_up_at, hang_up);
        EXPECT_EQ(status, hang_up_at == SIZE_MAX ? 0 : 1) << block_size;
        EXPECT_EQ(accepted == length, status == 0) << block_size;
        EXPECT_TRUE(received == counting_pattern(static_cast<std::size_t>(accepted))) << block_size;
    }
    setitimer(ITIMER_REAL, &off, nullptr);
}

// Blocks of 4100 and 20004 bytes make runs that end 12 and 4 bytes past a 16-byte store, so
// the last values are made one by one; a block below 4 bytes holds none and sends nothing.
// The totals after a send error or an abort are what the reader took, to the byte.
TEST(Sending, GeneratedPatternExactAndItsTotalsAfterASendErrorOrAnAbort) {
    const std::tuple<std::int32_t, std::size_t, void (*)()> rows[] = {
        {4100, 3 << 20, hang_up}, {20004, 1 << 20, abort_send}, {3, 0, abort_send}};
    for (const auto& [block_size, trigger_at, trigger] : rows) {
        read_size = block_size;
        pattern_counter = total_bytes_sent = data_checksum = 0;
        const bytes received = sent_over_pair(send_generated_data, trigger_at, trigger);
        EXPECT_TRUE(received == counting_pattern(received.size())) << block_size;  // no diff
        EXPECT_EQ(received.empty(), block_size < 4) << block_size;
        EXPECT_EQ(total_bytes_sent, received.size());
        EXPECT_EQ(data_checksum, std::accumulate(received.begin(), received.end(), 0U));
    }
}

// After a hang-up. Steps of 512 bytes up to 4096, then of 1024; a failed test moves on; a size
// above the buffer is refused. More than 2 GiB in one test prints whole (the clock set back:
// 0 KBS).
TEST(Sending, SendTestSweep) {
    const std::string head = "Send test with buf size ";
    const std::string failed = " bytes\n\nError: send failed: Connection Reset\n\r" +
                               std::string(79, ' ') + "\r\nSuccessfully sent 0 bytes at 0 KBS\n";
    buffer_capacity = transfer_buffer_size;
    testing::internal::CaptureStdout();
    sent_over_pair([] {
        hang_up();
        run_send_tests(3584, 5120, test_duration_seconds);
        run_send_tests(32769, 32769, test_duration_seconds);
    });
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              head + "3584" + failed + head + "4096" + failed + head + "5120" + failed + head +
                  "32769 bytes\nError: Maximum buffer size = 32768\n");
    testing::internal::CaptureStdout();
    print_test_result(5'000'000'000LL, 32768, 160'000, std::time(nullptr) + 9);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Successfully sent 5,000,000,000 bytes (32768) at 0 KBS\n"
              "Average byte count sent per system call: 31250\n");
}

}  // namespace
