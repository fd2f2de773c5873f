#include <gtest/gtest.h>
#include <sys/socket.h>

#include <regex>
#include <string>
#include <vector>

#include "generated_data.h"
#include "sender_globals.h"

namespace {

using streamcheck::blank_status_line;
using streamcheck::count_text;

// What a test prints after its first send failed on a connection that is gone.
std::string failed_test_lines() {
    return "\nError: send failed: Connection Reset\n" + blank_status_line() +
           "\nSuccessfully sent 0 bytes at 0 KBS\n";
}

TEST(send_test_sizes, sweep_steps_by_512_up_to_4096_then_by_1024_up_to_32768) {
    std::vector<std::int32_t> sizes;
    for (std::int32_t size = first_test_size; size <= last_test_size; size = next_test_size(size)) {
        sizes.push_back(size);
    }
    ASSERT_EQ(sizes.size(), 36U);
    const std::vector<std::int32_t> small(sizes.begin(), sizes.begin() + 9);
    EXPECT_EQ(small,
              (std::vector<std::int32_t>{512, 1024, 1536, 2048, 2560, 3072, 3584, 4096, 5120}));
    EXPECT_EQ(sizes.back(), 32768);
}

// Counts of more than 2 GiB in one test print as they are, never as negative figures.
TEST(send_test_result, large_counts_and_the_average_print_whole) {
    testing::internal::CaptureStdout();
    print_test_result(5'000'000'000LL, 32768, 160'000, std::time(nullptr));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::regex_match(
        out, std::regex("Successfully sent 5,000,000,000 bytes \\(32768\\) at [0-9]+ KBS\n"
                        "Average byte count sent per system call: 31250\n")))
        << out;
}

using send_test_run = sender_fixture;

// The first pass shows a progress line before the first send; the result gives the count
// the reader received and the count each blocking call accepted.
TEST_F(send_test_run, timed_test_reports_its_bytes_and_the_average_per_call) {
    reader.tally.expect_zeros = true;
    start_reader();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    send_test(1024, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    const auto& tally = finish_reader();

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_GT(tally.count, 0U);
    EXPECT_EQ(total_bytes_sent, 0U);
    EXPECT_EQ(data_checksum, 0U);
    EXPECT_EQ(err.rfind("Send: Total Bytes Sent: 0 KBS: 0    \r", 0), 0U) << err;
    const std::regex expected("Successfully sent " + count_text(tally.count) +
                              " bytes \\(1024\\) at [0-9]+ KBS\n"
                              "Average byte count sent per system call: 1024\n");
    EXPECT_TRUE(std::regex_match(out, expected)) << out;
}

// A test whose time is up before any call shows an average of 0 instead of dividing by 0.
TEST_F(send_test_run, test_without_a_send_call_shows_average_zero) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    send_test(512, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(out,
              "Successfully sent 0 bytes (512) at 0 KBS\n"
              "Average byte count sent per system call: 0\n");
}

TEST_F(send_test_run, size_above_the_buffer_is_refused) {
    testing::internal::CaptureStdout();
    send_test(32769, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Maximum buffer size = 32768\n");
}

// A failed test ends with its error and totals, and the sweep goes on with the next size.
TEST_F(send_test_run, send_error_ends_the_test_and_the_sweep_moves_on) {
    start_reader();
    finish_reader();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run_send_tests(first_test_size, 1536, 10);
    const std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(test_aborted, 0);
    EXPECT_EQ(out, "Send test with buf size 512 bytes\n" + failed_test_lines() +
                       "Send test with buf size 1024 bytes\n" + failed_test_lines() +
                       "Send test with buf size 1536 bytes\n" + failed_test_lines());
}

// An abort (here by signal) inside the first test prints the notice twice and ends the sweep.
TEST_F(send_test_run, abort_in_the_first_test_ends_the_sweep) {
    start_reader();
    cancel_requested = 1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run_send_test_sweep();
    const std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(test_aborted, 1);
    EXPECT_EQ(out, "Send test with buf size 512 bytes\n" + blank_status_line() +
                       "Notice: send was aborted\n\nNotice: send was aborted\n" +
                       blank_status_line() + "\nSuccessfully sent 0 bytes at 0 KBS\n");
}

}  // namespace
