#include "generated_data.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "batched_send.h"
#include "checksum.h"
#include "closing_lines.h"
#include "console.h"
#include "interrupts.h"
#include "network.h"
#include "number_format.h"
#include "sender_state.h"
#include "socket_layer.h"

namespace {

constexpr std::size_t bytes_per_value = 4;
// A block too small for one value sends nothing; this pause keeps that loop off the processor.
constexpr long empty_pass_pause_ns = 20'000'000;
constexpr long nanoseconds_per_second = 1'000'000'000;
constexpr long fresh_second_retry_ns = 1'000'000;

// Shows the progress line once a second (now is the clock's reading) and asks the operator.
// Returns 1 when the operator answered Y or a signal asked us to stop, 0 to go on; prints
// nothing else.
int poll_for_abort(std::time_t now, std::uint64_t count, std::time_t since) {
    if (now > last_progress_time) {
        show_total_progress(count, since);
        if (ask_abort() == 1) {
            return 1;
        }
        last_progress_time = std::time(nullptr);
    }
    return cancel_requested != 0 ? 1 : 0;
}

// Reports a send that failed: the abort notice when a signal interrupted it, else the error
// line. Returns 1 when the failure was such an abort, 0 for a send error.
int report_send_failure() {
    const int error_code = last_socket_error();
    if (cancel_requested != 0) {
        print_abort_notice();
        return 1;
    }
    std::printf("\n");
    std::printf("Error: send failed: %s\n", socket_error_text(error_code));
    return 0;
}

// The length in bytes of one generated block: read_size / 4 whole values (0 when read_size
// holds none).
std::int32_t pattern_block_length() {
    const std::int32_t block_size = std::clamp(read_size, 0, transfer_buffer_size);
    return block_size / static_cast<std::int32_t>(bytes_per_value) *
           static_cast<std::int32_t>(bytes_per_value);
}

// Stores the next length / 4 values of the counting pattern at the start of transfer_buffer,
// in little-endian order; consecutive blocks built at once are one unbroken run. Never fails.
void build_pattern(std::int32_t length) {
    const std::span run(transfer_buffer.data(), static_cast<std::size_t>(length));
    std::size_t position = 0;
#if defined(__SSE2__)
    // x86 stores 32-bit lanes little-endian: four values per store, each lane counting by 4.
    constexpr std::size_t values_per_store = 4;
    constexpr std::size_t bytes_per_store = values_per_store * bytes_per_value;
    const auto first = static_cast<int>(pattern_counter);
    __m128i values = _mm_add_epi32(_mm_set1_epi32(first), _mm_setr_epi32(0, 1, 2, 3));
    const __m128i step = _mm_set1_epi32(static_cast<int>(values_per_store));
    for (; position + bytes_per_store <= run.size(); position += bytes_per_store) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(&run[position]), values);
        values = _mm_add_epi32(values, step);
    }
    pattern_counter += static_cast<std::uint32_t>(position / bytes_per_value);
#endif
    for (; position + bytes_per_value <= run.size(); position += bytes_per_value) {
        run[position] = static_cast<unsigned char>(pattern_counter);
        run[position + 1] = static_cast<unsigned char>(pattern_counter >> 8U);
        run[position + 2] = static_cast<unsigned char>(pattern_counter >> 16U);
        run[position + 3] = static_cast<unsigned char>(pattern_counter >> 24U);
        ++pattern_counter;
    }
}

// Sends the first length bytes of transfer_buffer as blocks of block_length bytes in calls of
// at most 4096 bytes, adding every byte that a call took to total_bytes_sent and
// data_checksum. Returns 0 when all went out, 1 after a send error or an abort, whose line
// it has printed.
int send_pattern_blocks(std::int32_t length, std::int32_t block_length) {
    std::int32_t accepted = 0;
    const int status =
        send_blocks(data_socket, transfer_buffer.data(), length, block_length, &accepted);
    // The bytes taken are always the start of the run, so one sum covers every call's share.
    total_bytes_sent += static_cast<std::uint64_t>(accepted);
    data_checksum += checksum_bytes(transfer_buffer.data(), accepted);
    if (sha256_flag != 0) {
        add_to_digest(stream_digest, transfer_buffer.data(), static_cast<std::size_t>(accepted));
    }
    if (status != 0) {
        report_send_failure();
        return 1;
    }
    return 0;
}

// Waits for the clock to show a new second, sleeping rather than spinning. Returns the
// second it started at: the first reading plus 1.
std::time_t wait_for_fresh_second() {
    const std::time_t first_reading = std::time(nullptr);
    while (std::time(nullptr) == first_reading) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        // time() may trail the precise clock by a tick, so past the boundary poll briefly.
        timespec pause{0, fresh_second_retry_ns};
        if (now.tv_sec == first_reading) {
            pause.tv_nsec = nanoseconds_per_second - now.tv_nsec;
        }
        nanosleep(&pause, nullptr);
    }
    return first_reading + 1;
}

}  // namespace

// Runs until the operator or a signal stops it or a send fails; always ends with the totals.
void send_generated_data() {
    const std::int32_t block_length = pattern_block_length();
    const std::int32_t run_length = block_length * blocks_per_batch(block_length);
    for (;;) {
        // Blocks go together only within one second: the clock is read between batches.
        if (poll_for_abort(std::time(nullptr), total_bytes_sent, start_time) == 1) {
            print_abort_notice();
            break;
        }
        if (block_length == 0) {
            const timespec pause{0, empty_pass_pause_ns};
            nanosleep(&pause, nullptr);
            continue;
        }
        build_pattern(run_length);
        if (send_pattern_blocks(run_length, block_length) == 1) {
            break;
        }
    }
    clear_status_line();
    print_totals();
    std::fflush(stdout);
}

// Runs the whole sweep; failed tests do not stop it, an aborted one does.
void run_send_test_sweep() {
    run_send_tests(first_test_size, last_test_size, test_duration_seconds);
}

// Runs the tests in the sweep's order of sizes; prints the heading line of each.
void run_send_tests(std::int32_t first_size, std::int32_t last_size,
                    std::int32_t duration_seconds) {
    std::int32_t size = first_size;
    do {
        std::printf("Send test with buf size %d bytes\n", size);
        std::fflush(stdout);
        send_test(size, duration_seconds);
        size = next_test_size(size);
    } while (test_aborted == 0 && size <= last_size);
}

// Never fails.
std::int32_t next_test_size(std::int32_t size) {
    constexpr std::int32_t small_step = 512;
    constexpr std::int32_t large_step = 1024;
    constexpr std::int32_t small_step_limit = 4096;
    return size < small_step_limit ? size + small_step : size + large_step;
}

// Sends size bytes of transfer_buffer per call for duration_seconds from a fresh second.
// A size above the buffer is refused with an error line; a send error or an abort ends the
// test early with its own lines (test_aborted is 1 after an abort).
void send_test(std::int32_t size, std::int32_t duration_seconds) {
    if (size > buffer_capacity || size > transfer_buffer_size) {
        std::printf("Error: Maximum buffer size = %d\n", buffer_capacity);
        return;
    }
    // 64-bit counts: a fast link moves more than 2 GiB in one test.
    std::int64_t bytes = 0;
    std::int64_t calls = 0;
    test_aborted = 0;
    last_progress_time = 0;
    const std::time_t test_start = wait_for_fresh_second();
    for (;;) {
        const std::time_t now = std::time(nullptr);
        if (now - test_start >= duration_seconds) {
            print_test_result(bytes, size, calls, test_start);
            return;
        }
        if (poll_for_abort(now, static_cast<std::uint64_t>(bytes), test_start) == 1) {
            test_aborted = 1;
            print_abort_notice();
            break;
        }
        ++calls;
        const int sent = socket_send(data_socket, transfer_buffer.data(), size);
        if (sent < 0) {
            test_aborted = static_cast<unsigned char>(report_send_failure());
            break;
        }
        bytes += sent;
    }
    if (test_aborted == 1) {
        std::printf("\nNotice: send was aborted\n");
    }
    clear_status_line();
    std::printf("\n");
    std::array<char, count_text_size> count_text{};
    format_count(static_cast<std::uint64_t>(bytes), count_text.data());
    std::printf("Successfully sent %s bytes at %u KBS\n", count_text.data(),
                transfer_rate(static_cast<std::uint64_t>(bytes), test_start));
    std::fflush(stdout);
}

// Never fails. The progress line is left standing above the result lines.
void print_test_result(std::int64_t bytes, std::int32_t size, std::int64_t calls,
                       std::time_t test_start) {
    std::array<char, count_text_size> count_text{};
    format_count(static_cast<std::uint64_t>(bytes), count_text.data());
    std::printf("Successfully sent %s bytes (%d) at %u KBS\n", count_text.data(), size,
                transfer_rate(static_cast<std::uint64_t>(bytes), test_start));
    const std::int64_t average = calls == 0 ? 0 : bytes / calls;
    std::printf("Average byte count sent per system call: %d\n", static_cast<int>(average));
    std::fflush(stdout);
}

// Never fails.
void show_total_progress(std::uint64_t count, std::time_t since) {
    std::array<char, count_text_size> count_text{};
    format_count(count, count_text.data());
    std::fprintf(stderr, "Send: Total Bytes Sent: %s KBS: %u    \r", count_text.data(),
                 transfer_rate(count, since));
    std::fflush(stderr);
}
