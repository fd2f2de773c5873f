#pragma once

#include <cstdint>
#include <ctime>

// The send-test sweep: sizes from 512 to 32768 bytes, each test lasting 10 seconds.
constexpr std::int32_t first_test_size = 512;
constexpr std::int32_t last_test_size = 32768;
constexpr std::int32_t test_duration_seconds = 10;

// Sends the counting pattern until the operator aborts or a send fails, then prints the
// totals and the checksum.
void send_generated_data();
// Runs the timed send test for every size from 512 to 32768 bytes.
void run_send_test_sweep();
// Runs one send test for each size from first_size up to last_size (in the sweep's steps),
// each lasting duration_seconds; stops after a test that the operator aborted.
void run_send_tests(std::int32_t first_size, std::int32_t last_size, std::int32_t duration_seconds);
// The size of the sweep's test after size: steps of 512 bytes up to 4096, then of 1024.
std::int32_t next_test_size(std::int32_t size);
void send_test(std::int32_t size, std::int32_t duration_seconds);
// Prints a finished test's two result lines. bytes / calls is shown as 0 when no call was made.
void print_test_result(std::int64_t bytes, std::int32_t size, std::int64_t calls,
                       std::time_t test_start);
// "Send: Total Bytes Sent: %s KBS: %u    \r" on standard error.
void show_total_progress(std::uint64_t count, std::time_t since);
