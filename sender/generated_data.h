#pragma once

#include <cstdint>
#include <ctime>

// Sends the counting pattern until the operator aborts or a send fails, then prints the
// totals and the checksum.
void send_generated_data();
// Runs the timed send test for every size from 512 to 32768 bytes.
void run_send_test_sweep();
void send_test(std::int32_t size, std::int32_t duration_seconds);
// "Send: Total Bytes Sent: %s KBS: %u    \r" on standard error.
void show_total_progress(std::uint64_t count, std::time_t since);
