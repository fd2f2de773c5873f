#include "closing_lines.h"

#include <array>
#include <cstdio>

#include "console.h"
#include "number_format.h"
#include "sender_state.h"

void print_totals() {
    std::array<char, count_text_size> count_text{};
    format_count(total_bytes_sent, count_text.data());
    std::printf("\n");
    std::printf("Successfully sent %s bytes at %u KBS\n", count_text.data(),
                transfer_rate(total_bytes_sent, start_time));
    std::printf("TCPIP Data Checksum: %x\n", data_checksum);
}

void print_abort_notice() {
    clear_status_line();
    std::printf("Notice: send was aborted\n");
}
