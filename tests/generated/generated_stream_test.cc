#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "generated_data.h"
#include "sender_globals.h"

namespace {

using streamcheck::blank_status_line;
using streamcheck::count_text;
using streamcheck::hex_text;

struct block_case {
    std::int32_t read_size;
    std::uint64_t bytes_before_failure;
};

class generated_stream : public sender_fixture, public ::testing::WithParamInterface<block_case> {};

// The stream is the unbroken counting pattern across blocks and send calls. When the
// connection fails the sender reports the error and totals that match, to the byte, what
// the reader received: the failure comes from the sender's side, so nothing sent is lost.
TEST_P(generated_stream, pattern_runs_on_until_the_send_fails_and_totals_match_the_reader) {
    read_size = GetParam().read_size;
    start_reader(GetParam().bytes_before_failure, [this] { shutdown(pair.sender, SHUT_WR); });
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    send_generated_data();
    const std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    const auto& tally = finish_reader();

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_GE(tally.count, GetParam().bytes_before_failure);
    EXPECT_EQ(total_bytes_sent, tally.count);
    const std::regex expected(
        "\nError: send failed: Connection Reset\n" + blank_status_line() + "\nSuccessfully sent " +
        count_text(tally.count) +
        " bytes at [0-9]+ KBS\nTCPIP Data Checksum: " + hex_text(tally.checksum) + "\n");
    EXPECT_TRUE(std::regex_match(out, expected)) << out;
}

// 16384 bytes: four calls of 4096 per block. 4099 bytes: 1024 values, so blocks of 4096 and
// the 3 bytes left over are never generated (a gap would break the pattern).
INSTANTIATE_TEST_SUITE_P(block_sizes, generated_stream,
                         ::testing::Values(block_case{16384, 3U << 20U},
                                           block_case{4099, 2U << 20U}),
                         [](const auto& info) {
                             return "read_size_" + std::to_string(info.param.read_size);
                         });

using generated_data_end = sender_fixture;

// A signal ends the mode as the operator's abort does: the notice, then the totals.
TEST_F(generated_data_end, signal_prints_the_notice_and_totals_of_what_was_sent) {
    read_size = 16384;
    start_reader(1U << 20U, [] { cancel_requested = 1; });
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    send_generated_data();
    const std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    const auto& tally = finish_reader();

    EXPECT_EQ(tally.first_mismatch, -1);
    const std::regex expected(
        blank_status_line() + "Notice: send was aborted\n" + blank_status_line() +
        "\nSuccessfully sent " + count_text(tally.count) +
        " bytes at [0-9]+ KBS\nTCPIP Data Checksum: " + hex_text(tally.checksum) + "\n");
    EXPECT_TRUE(std::regex_match(out, expected)) << out;
}

// A block size below 4 holds no value: nothing is ever sent, and the loop still ends on
// request with zero totals.
TEST_F(generated_data_end, block_without_a_whole_value_sends_nothing) {
    read_size = 3;
    start_reader();
    std::thread canceller([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel_requested = 1;
    });
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    send_generated_data();
    const std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    canceller.join();

    EXPECT_EQ(finish_reader().count, 0U);
    EXPECT_EQ(pattern_counter, 0U);
    EXPECT_EQ(out, blank_status_line() + "Notice: send was aborted\n" + blank_status_line() +
                       "\nSuccessfully sent 0 bytes at 0 KBS\nTCPIP Data Checksum: 0\n");
}

}  // namespace
