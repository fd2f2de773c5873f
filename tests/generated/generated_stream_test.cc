#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "generated_data.h"
#include "generated_support.h"
#include "output_capture.h"

namespace {

using wiretest::captured_output;

using generated_stream = sender_fixture;

// With 16384-byte blocks each block goes in four calls. When the connection fails the
// sender reports the error and totals that match, to the byte, what the reader received:
// the failure comes from the sender's side, so a count that took a failed call in would
// show here.
TEST_F(generated_stream, totals_after_a_send_error_match_the_reader_exactly) {
    read_size = 16384;
    start_reader(3U << 20U, [] { shutdown(data_socket, SHUT_WR); });
    const std::string out = captured_output(send_generated_data).out;
    finish_reader();

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_EQ(total_bytes_sent, tally.count);
    EXPECT_TRUE(std::regex_match(
        out, std::regex("\nError: send failed: Connection Reset\n" + totals_pattern(tally))))
        << out;
}

class generated_abort : public sender_fixture, public ::testing::WithParamInterface<int> {};

// An abort (here by signal) prints the notice, then the totals of what was sent. A block
// below 4 bytes holds no value: nothing is ever sent, and the loop still ends on request.
TEST_P(generated_abort, prints_the_notice_and_the_totals_of_what_was_sent) {
    read_size = GetParam();
    start_reader();
    std::thread canceller([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel_requested = 1;
    });
    const std::string out = captured_output(send_generated_data).out;
    canceller.join();
    finish_reader();

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_EQ(total_bytes_sent, tally.count);
    EXPECT_EQ(tally.count == 0, read_size < 4);
    EXPECT_TRUE(std::regex_match(
        out, std::regex("\r {79}\rNotice: send was aborted\n" + totals_pattern(tally))))
        << out;
}

INSTANTIATE_TEST_SUITE_P(read_sizes, generated_abort, ::testing::Values(16384, 3));

}  // namespace
