#include "closing_lines.h"

#include <array>
#include <cstdio>

#include "console.h"
#include "number_format.h"
#include "sender_state.h"

namespace {

// With "-sha256", the digest line that follows the checksum line.
void print_digest_line() {
    if (sha256_flag != 0) {
        digest_text text{};
        print_stream_digest(stream_digest, &text);
    }
}

}  // namespace

void print_totals() {
    std::array<char, count_text_size> count_text{};
    format_count(total_bytes_sent, count_text.data());
    std::printf("\n");
    std::printf("Successfully sent %s bytes at %u KBS\n", count_text.data(),
                transfer_rate(total_bytes_sent, start_time));
    std::printf("TCPIP Data Checksum: %x\n", data_checksum);
    print_digest_line();
}

void print_abort_notice() {
    clear_status_line();
    std::printf("Notice: send was aborted\n");
}
