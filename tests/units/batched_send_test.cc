#include "batched_send.h"

#include <sys/time.h>

#include <random>

#include "interrupts.h"
#include "socket_layer.h"
#include "unit_support.h"

namespace {

constexpr std::int32_t batch_length = 32768;

// A tiny send buffer, a slow reader and a timer signal every millisecond make the kernel cut
// messages short in the middle of a batch; the stopped reader shuts the sender's direction
// after 300000 bytes, so that a call fails there. The bytes taken must be exactly the start
// of the data, nothing lost or sent twice. Blocks of 5000 bytes split unevenly (4096 + 904).
TEST(BatchedSend, InterruptedOrFailingSendsAccountForEveryByteOnceInOrder) {
    std::string data(static_cast<std::size_t>(batch_length) * 64, '\0');
    std::mt19937 random(7);
    std::generate(data.begin(), data.end(), [&] { return static_cast<char>(random()); });
    struct sigaction quiet {};
    quiet.sa_handler = [](int) {};
    sigaction(SIGALRM, &quiet, nullptr);
    cancel_requested = 0;
    for (const bool stopped : {false, true}) {
        for (const std::int32_t block_size : {4096, 5000, 32768}) {
            SCOPED_TRACE(std::to_string(block_size) + (stopped ? " stopped" : " left alone"));
            units::drained_pair pair(4096);
            pair.start_reading(stopped ? 300000 : SIZE_MAX,
                               [&] { shutdown(pair.ends[0], SHUT_WR); });
            const itimerval every_millisecond{{0, 1000}, {0, 1000}};
            setitimer(ITIMER_REAL, &every_millisecond, nullptr);
            int status = 0;
            std::uint64_t accepted_total = 0;
            for (std::size_t start = 0; start < data.size() && status == 0; start += batch_length) {
                std::int32_t accepted = -1;
                status =
                    send_blocks(pair.ends[0], reinterpret_cast<const unsigned char*>(&data[start]),
                                batch_length, block_size, &accepted);
                EXPECT_EQ(accepted == batch_length, status == 0) << accepted;
                accepted_total += static_cast<std::uint64_t>(accepted);
            }
            const itimerval off{};
            setitimer(ITIMER_REAL, &off, nullptr);
            EXPECT_EQ(status == 0 ? 0 : last_socket_error(), stopped ? 10054 : 0);
            pair.finish_reading();
            EXPECT_EQ(accepted_total, pair.received.size());
            EXPECT_EQ(pair.received.size() == data.size(), !stopped);
            EXPECT_TRUE(data.starts_with(pair.received));
        }
    }
}

}  // namespace
