#include "reception.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <span>

#include "checksum.h"
#include "console.h"
#include "interrupts.h"
#include "network.h"
#include "number_format.h"
#include "output_file.h"
#include "piece_naming.h"
#include "receiver_state.h"
#include "socket_layer.h"
#include "stream_check.h"
#include "stream_digest.h"

namespace {

// How long a receive waits for a full buffer before it hands over what has come: the
// sender wakes this process once per buffer rather than once per packet, and a trickle
// still shows in the count well within the once-a-second progress line.
constexpr int gather_wait_ms = 100;

// Receives into space like one blocking recv: the gathering wait expiring with nothing come
// is waited through, so a silent sender still leaves the keyboard and the progress line
// alone. Returns the count (0 at the end of the stream), or -1 with the error recorded.
int receive_some(std::span<unsigned char> space) {
    for (;;) {
        const int received = socket_recv(data_socket, space.data(), static_cast<int>(space.size()));
        if (received != -1 || last_socket_error() != wsa_would_block || cancel_requested != 0) {
            return received;
        }
    }
}

// Prints the closing lines that the operator compares with the sender's.
void print_summary(std::uint64_t total_received, std::time_t start_time,
                   std::uint32_t data_checksum) {
    clear_status_line();
    std::printf("\n");
    char count_text[count_text_size];
    format_count(total_received, count_text);
    std::printf("Successfully received %s bytes at %u KBS\n", count_text,
                transfer_rate(total_received, start_time));
    std::printf("TCPIP Data Checksum: %x\n", data_checksum);
    print_digest_summary();
    std::fflush(stdout);
}

}  // namespace

void show_progress(std::uint64_t total_received, std::time_t start_time) {
    char count_text[count_text_size];
    format_count(total_received, count_text);
    std::printf("Recv: Total Bytes Received: %s KBS: %u    \r", count_text,
                transfer_rate(total_received, start_time));
    std::fflush(stdout);
}

int receive_stream(int& output_fd) {
    // Only the speed depends on it: without it every receive returns whatever is there.
    socket_gather_receives(data_socket, static_cast<int>(recv_buffer_size), gather_wait_ms);
    const std::time_t start_time = std::time(nullptr);
    std::time_t last_progress_time = start_time;
    std::uint64_t total_received = 0;
    std::uint32_t data_checksum = 0;
    bool stream_ended = false;
    while (!stream_ended) {
        std::size_t fill_level = 0;
        while (fill_level < recv_buffer_size) {
            if (cancel_requested != 0) {
                return 1;
            }
            if (ask_abort() == 1) {
                std::printf("\n");
                std::printf("Notice: recv was aborted\n");
                if (no_file_flag == 0) {
                    return 1;
                }
                print_summary(total_received, start_time, data_checksum);
                return 0;
            }
            const std::time_t now = std::time(nullptr);
            if (now > last_progress_time) {
                show_progress(total_received, start_time);
                last_progress_time = now;
            }
            const int received = receive_some(std::span(recv_buffer).subspan(fill_level));
            if (received == -1) {
                const int code = last_socket_error();
                if (cancel_requested != 0) {
                    return 1;
                }
                if (last_progress_time > start_time) {
                    std::printf("\n");
                }
                std::printf("\nError: recv failed: %s\n", socket_error_text(code));
                return 1;
            }
            if (received == 0) {
                stream_ended = true;
                break;
            }
            data_checksum += checksum_bytes(recv_buffer.data() + fill_level, received);
            if (sha256_flag != 0) {
                add_to_digest(stream_digest, recv_buffer.data() + fill_level,
                              static_cast<std::size_t>(received));
            }
            total_received += static_cast<std::uint64_t>(received);
            fill_level += static_cast<std::size_t>(received);
        }
        if (fill_level == 0) {
            break;
        }
        // A piece is changed only once data for the next one is in hand, so a stream that
        // ends on a piece boundary leaves no empty piece.
        if (piece_is_complete()) {
            clear_status_line();
            if (open_next_piece(output_fd) != 0) {
                // An interrupt at the name prompt ends the run as an interrupt, not as "Q".
                if (cancel_requested != 0) {
                    return 1;
                }
                break;
            }
            piece_written = 0;
        }
        // Every write but the last is a full buffer and a piece is a whole number of
        // mebibytes, so a buffer never straddles a piece boundary.
        if (no_file_flag == 0) {
            if (write_all(output_fd, recv_buffer.data(), fill_level) != 0) {
                const int error_number = errno;
                std::printf("\n");
                std::printf("\nError: Could not write to file: %s\n", std::strerror(error_number));
                return 1;
            }
            piece_written += fill_level;
            if (piece_digest != nullptr) {
                add_to_digest(piece_digest, recv_buffer.data(), fill_level);
            }
        }
    }
    print_summary(total_received, start_time, data_checksum);
    return 0;
}
