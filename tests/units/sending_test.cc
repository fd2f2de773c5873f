// Batched sends, generated data and the send-test sweep over a socket pair.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "batched_send.h"
#include "generated_data.h"
#include "interrupts.h"
#include "sender_state.h"

// Runs send with data_socket on a socket pair whose send buffer holds about one send piece,
// so that the sender keeps blocking; nothing is cancelled at first, and the reader aborts the
// send once a mebibyte has come. Returns what the reader took.
static std::string sent_over_pair(void (*send)()) {
    std::array<int, 2> ends{};
    socketpair(AF_UNIX, SOCK_STREAM, 0, ends.data());
    setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &largest_send_piece, sizeof largest_send_piece);
    data_socket = ends[0];
    cancel_requested = 0;
    std::string received;
    std::thread reader([&] {
        std::array<char, 2048> chunk{};
        for (ssize_t got = 0; (got = recv(ends[1], chunk.data(), chunk.size(), 0)) > 0;) {
            received.append(chunk.data(), static_cast<std::size_t>(got));
            cancel_requested = static_cast<int>(received.size() >= (1 << 20));
        }
    });
    send();
    close(ends[0]);
    reader.join();
    close(ends[1]);
    return received;
}

// Generated data goes out in batches of blocks, which a timer signal every millisecond cuts
// short mid-batch. Blocks of 4100 bytes go seven to a batch, each in two uneven sends, and
// make runs that end 12 bytes past a 16-byte store, so the last values are made one by one.
// Sending goes on until the abort; after it the count is what the reader took, every byte
// once and in order.
TEST(Sending, GeneratedPatternExactAndCountedOnceThoughBatchesAreCutShort) {
    std::signal(SIGALRM, [](int) {});  // restarting calls that took nothing yet
    ualarm(1000, 1000);
    read_size = 4100;
    pattern_counter = total_bytes_sent = 0;  // as at start, so that the test can run again
    const auto received = sent_over_pair(send_generated_data);
    // Value k as a little-endian 32-bit number at bytes 4k to 4k+3.
    for (std::size_t at = 0; at < received.size() && !HasFailure(); ++at) {
        EXPECT_EQ(received[at], static_cast<char>((at / 4) >> (8 * (at % 4)))) << at;
    }
    EXPECT_GE(received.size(), 1U << 20);
    EXPECT_EQ(total_bytes_sent, received.size());
    ualarm(0, 0);
}

// After a hang-up a batch fails; the sweep's tests fail and it moves on, in steps of 512 bytes
// up to 4096, then of 1024. More than 2 GiB in one test prints whole (with the clock set back,
// at 0 KBS).
TEST(Sending, AfterAHangUpABatchFailsAndTheSweepMovesOn) {
    const std::string head = "Send test with buf size ";
    const std::string failed = " bytes\n\nError: send failed: Connection Reset\n\r" +
                               std::string(79, ' ') + "\r\nSuccessfully sent 0 bytes at 0 KBS\n";
    buffer_capacity = transfer_buffer_size;
    testing::internal::CaptureStdout();
    sent_over_pair([] {
        std::int32_t accepted = 0;
        shutdown(data_socket, SHUT_WR);
        EXPECT_EQ(send_blocks(data_socket, transfer_buffer.data(), 8192, 4096, &accepted), 1);
        run_send_tests(3584, 5120, test_duration_seconds);
    });
    print_test_result(5'000'000'000LL, 32768, 160'000, std::time(nullptr) + 9);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              head + "3584" + failed + head + "4096" + failed + head + "5120" + failed +
                  "Successfully sent 5,000,000,000 bytes (32768) at 0 KBS\n"
                  "Average byte count sent per system call: 31250\n");
}
