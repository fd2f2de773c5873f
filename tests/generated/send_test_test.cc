#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "generated_data.h"
#include "generated_support.h"
#include "output_capture.h"
#include "printed_text.h"

namespace {

using wiretest::captured_output;
using wiretest::captured_stdout;

TEST(send_test_sizes, sweep_steps_by_512_up_to_4096_then_by_1024_up_to_32768) {
    std::vector<std::int32_t> sizes;
    for (std::int32_t size = first_test_size; size <= last_test_size; size = next_test_size(size)) {
        sizes.push_back(size);
    }
    ASSERT_EQ(sizes.size(), 36U);
    EXPECT_EQ(std::vector<std::int32_t>(sizes.begin(), sizes.begin() + 9),
              (std::vector<std::int32_t>{512, 1024, 1536, 2048, 2560, 3072, 3584, 4096, 5120}));
    EXPECT_EQ(sizes.back(), 32768);
}

// Counts of more than 2 GiB in one test print as they are, never as negative figures.
TEST(send_test_result, large_counts_and_the_average_print_whole) {
    const std::string out = captured_stdout(
        [] { print_test_result(5'000'000'000LL, 32768, 160'000, std::time(nullptr)); });
    EXPECT_TRUE(std::regex_match(
        out, std::regex("Successfully sent 5,000,000,000 bytes \\(32768\\) at [0-9]+ KBS\n"
                        "Average byte count sent per system call: 31250\n")))
        << out;
}

using send_test_run = sender_fixture;

// The first pass shows a progress line before the first send; the result gives the count
// the reader received and the count each blocking call accepted. The send test's zeros
// count towards no total.
TEST_F(send_test_run, timed_test_reports_its_bytes_and_the_average_per_call) {
    tally.expected_byte = zero_byte;
    start_reader();
    const auto printed = captured_output([] { send_test(1024, 1); });
    finish_reader();

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_GT(tally.count, 0U);
    EXPECT_EQ(total_bytes_sent, 0U);
    EXPECT_EQ(data_checksum, 0U);
    EXPECT_TRUE(printed.err.starts_with("Send: Total Bytes Sent: 0 KBS: 0    \r")) << printed.err;
    EXPECT_TRUE(std::regex_match(printed.out,
                                 std::regex("Successfully sent " + grouped(tally.count) +
                                            " bytes \\(1024\\) at [0-9]+ KBS\n"
                                            "Average byte count sent per system call: 1024\n")))
        << printed.out;
}

// A test whose time is up before any call shows an average of 0 instead of dividing by 0;
// a size above the buffer is refused.
TEST_F(send_test_run, no_send_call_averages_zero_and_oversize_is_refused) {
    const auto printed = captured_output([] { send_test(512, 0); });
    EXPECT_EQ(printed.err, "");
    EXPECT_EQ(printed.out,
              "Successfully sent 0 bytes (512) at 0 KBS\n"
              "Average byte count sent per system call: 0\n");
    EXPECT_EQ(captured_stdout([] { send_test(32769, 1); }), "Error: Maximum buffer size = 32768\n");
}

// A failed test ends with its error and totals, and the sweep goes on with the next size.
TEST_F(send_test_run, send_error_ends_the_test_and_the_sweep_moves_on) {
    finish_reader();
    const std::string out = captured_output([] { run_send_tests(first_test_size, 1536, 10); }).out;
    EXPECT_EQ(test_aborted, 0);
    std::string expected;
    for (const char* size : {"512", "1024", "1536"}) {
        expected += std::string("Send test with buf size ") + size +
                    " bytes\n\nError: send failed: Connection Reset\n" + wiretest::blank_line +
                    "\nSuccessfully sent 0 bytes at 0 KBS\n";
    }
    EXPECT_EQ(out, expected);
}

// An abort (here by signal) inside the first test prints the notice twice and ends the sweep.
TEST_F(send_test_run, abort_in_the_first_test_ends_the_sweep) {
    start_reader();
    cancel_requested = 1;
    const std::string out = captured_output(run_send_test_sweep).out;
    EXPECT_EQ(test_aborted, 1);
    EXPECT_EQ(out, "Send test with buf size 512 bytes\n" + wiretest::blank_line +
                       "Notice: send was aborted\n\nNotice: send was aborted\n" +
                       wiretest::blank_line + "\nSuccessfully sent 0 bytes at 0 KBS\n");
}

}  // namespace
