// The generated modes over a socket pair: the counting pattern and the send-test sweep.

#include "generated_data.h"

#include <regex>
#include <vector>

#include "interrupts.h"
#include "sender_state.h"
#include "unit_support.h"

namespace {

const std::string blank_line = "\r" + std::string(79, ' ') + "\r";

std::string grouped(std::uint64_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

// The sender's state as main leaves it before a transfer, data_socket joined to a reader.
class Sender : public testing::Test {
   protected:
    void SetUp() override {
        transfer_buffer.fill(0);
        buffer_capacity = transfer_buffer_size;
        pattern_counter = total_bytes_sent = data_checksum = test_aborted = 0;
        cancel_requested = 0;
        start_time = last_progress_time = std::time(nullptr);
        data_socket = pair.ends[0];
    }
    void TearDown() override {
        cancel_requested = 0;
    }
    units::drained_pair pair;
};

struct generated_row {
    std::int32_t read_size;  // 4099: whole values only, the 3 bytes left over never made
    std::size_t trigger_at;
    bool aborting;  // the reader asks to stop as SIGINT does, else ends the stream
};

class Generated : public Sender, public testing::WithParamInterface<generated_row> {};

// The totals show, to the byte, what the reader took: the failure comes from the sender's
// side, so a count that took a failed call in would show. A block below 4 bytes holds no
// value: nothing is sent, and the loop still ends on request.
TEST_P(Generated, PatternExactAndTotalsMatchTheReaderAfterASendErrorOrAnAbort) {
    read_size = GetParam().read_size;
    pair.start_reading(GetParam().trigger_at, [aborting = GetParam().aborting] {
        if (aborting) {
            cancel_requested = 1;
        } else {
            shutdown(data_socket, SHUT_WR);
        }
    });
    const std::string out = units::printed(send_generated_data);
    pair.finish_reading();
    std::uint32_t sum = 0;
    for (std::size_t offset = 0; offset < pair.received.size(); ++offset) {
        // Value k of the pattern is bytes 4k..4k+3, little-endian.
        const auto expected = static_cast<unsigned char>((offset / 4) >> (8 * (offset % 4)));
        ASSERT_EQ(static_cast<unsigned char>(pair.received[offset]), expected)
            << "offset " << offset;
        sum += expected;
    }
    EXPECT_EQ(total_bytes_sent, pair.received.size());
    EXPECT_EQ(pair.received.empty(), read_size < 4);
    std::array<char, 16> hex{};
    std::snprintf(hex.data(), hex.size(), "%x", sum);
    EXPECT_TRUE(std::regex_match(
        out, std::regex((GetParam().aborting ? blank_line + "Notice: send was aborted\n"
                                             : "\nError: send failed: Connection Reset\n") +
                        blank_line + "\nSuccessfully sent " + grouped(pair.received.size()) +
                        " bytes at [0-9]+ KBS\nTCPIP Data Checksum: " + hex.data() + "\n")))
        << out;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Generated,
    testing::Values(generated_row{.read_size = 16384, .trigger_at = 3 << 20, .aborting = false},
                    generated_row{.read_size = 4099, .trigger_at = 3 << 20, .aborting = false},
                    generated_row{.read_size = 16384, .trigger_at = 1 << 20, .aborting = true},
                    generated_row{.read_size = 3, .trigger_at = 0, .aborting = true}),
    [](const auto& row) {
        return std::to_string(row.param.read_size) +
               (row.param.aborting ? "_abort" : "_send_error");
    });

// Steps of 512 bytes up to 4096, then of 1024 up to 32768. More than 2 GiB in one test prints
// whole; no call at all averages 0, not a division by 0.
TEST(SendTest, SweepSizesAndTheResultOfLargeCountsAndOfNoCall) {
    std::vector<std::int32_t> sizes;
    for (std::int32_t size = first_test_size; size <= last_test_size; size = next_test_size(size)) {
        sizes.push_back(size);
    }
    EXPECT_EQ(sizes.size(), 36U);
    EXPECT_EQ(sizes[7] + sizes[8] + sizes.back(), 4096 + 5120 + 32768);
    const std::string large = units::printed(
        [] { print_test_result(5'000'000'000LL, 32768, 160'000, std::time(nullptr)); });
    EXPECT_TRUE(std::regex_match(
        large, std::regex("Successfully sent 5,000,000,000 bytes \\(32768\\) at [0-9]+ KBS\n"
                          "Average byte count sent per system call: 31250\n")))
        << large;
    EXPECT_EQ(units::printed([] { print_test_result(0, 512, 0, std::time(nullptr)); }),
              "Successfully sent 0 bytes (512) at 0 KBS\n"
              "Average byte count sent per system call: 0\n");
}

// The test's zeros count towards no total; a size above the buffer is refused.
TEST_F(Sender, SendTestReportsTheBytesTheReaderTookAndRefusesOversize) {
    pair.start_reading();
    const std::string out = units::printed([] { send_test(1024, 1); });
    pair.finish_reading();
    EXPECT_EQ(pair.received.find_first_not_of('\0'), std::string::npos);
    EXPECT_EQ(total_bytes_sent + data_checksum, 0U);
    EXPECT_TRUE(
        std::regex_match(out, std::regex("Successfully sent " + grouped(pair.received.size()) +
                                         " bytes \\(1024\\) at [0-9]+ KBS\n"
                                         "Average byte count sent per system call: 1024\n")))
        << out;
    EXPECT_EQ(units::printed([] { send_test(32769, 1); }), "Error: Maximum buffer size = 32768\n");
}

TEST_F(Sender, FailedSendTestEndsWithItsErrorAndTheSweepMovesOn) {
    pair.finish_reading();
    std::string expected;
    for (const char* size : {"512", "1024", "1536"}) {
        expected += std::string("Send test with buf size ") + size +
                    " bytes\n\nError: send failed: Connection Reset\n" + blank_line +
                    "\nSuccessfully sent 0 bytes at 0 KBS\n";
    }
    EXPECT_EQ(units::printed([] { run_send_tests(first_test_size, 1536, 10); }), expected);
    EXPECT_EQ(test_aborted, 0);
}

TEST_F(Sender, AbortInTheFirstSendTestEndsTheSweep) {
    pair.start_reading();
    cancel_requested = 1;
    EXPECT_EQ(units::printed(run_send_test_sweep),
              "Send test with buf size 512 bytes\n" + blank_line +
                  "Notice: send was aborted\n\nNotice: send was aborted\n" + blank_line +
                  "\nSuccessfully sent 0 bytes at 0 KBS\n");
    EXPECT_EQ(test_aborted, 1);
}

}  // namespace
