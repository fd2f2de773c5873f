#pragma once

// What the generated-mode tests share: the counting pattern (value k as little-endian 32-bit
// at bytes 4k..4k+3), the texts the sender prints, and the sender's state set as main leaves
// it before a transfer, with data_socket connected over loopback to a reader thread.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <thread>

#include "interrupts.h"
#include "loopback_peer.h"
#include "printed_text.h"
#include "sender_state.h"

inline unsigned char pattern_byte(std::uint64_t offset) {
    return static_cast<unsigned char>(static_cast<std::uint32_t>(offset / 4) >> (8 * (offset % 4)));
}

inline unsigned char zero_byte(std::uint64_t /*offset*/) {
    return 0;
}

// The checksum the sender prints after the first length bytes of the pattern, as "%x".
inline std::string pattern_checksum(std::uint64_t length) {
    std::uint32_t sum = 0;
    for (std::uint64_t offset = 0; offset < length; ++offset) {
        sum += pattern_byte(offset);
    }
    return wiretest::hex32(sum);
}

using wiretest::grouped;

// The closing lines of a generated run over what tally holds, as a regular expression.
inline std::string totals_pattern(const wiretest::byte_tally& tally) {
    return "\r {79}\r\nSuccessfully sent " + grouped(tally.count) +
           " bytes at [0-9]+ KBS\nTCPIP Data Checksum: " + wiretest::hex32(tally.checksum) + "\n";
}

class sender_fixture : public ::testing::Test {
   protected:
    void SetUp() override {
        transfer_buffer.fill(0);
        buffer_capacity = transfer_buffer_size;
        pattern_counter = 0;
        total_bytes_sent = 0;
        data_checksum = 0;
        test_aborted = 0;
        cancel_requested = 0;
        start_time = std::time(nullptr);
        last_progress_time = start_time;
        const wiretest::fd_guard listener(wiretest::listen_loopback());
        reader_socket = wiretest::connect_within(wiretest::bound_port(listener.fd));
        data_socket = wiretest::accept_within(listener.fd);
        ASSERT_GE(data_socket, 0);
        tally.expected_byte = pattern_byte;
    }

    void TearDown() override {
        finish_reader();
        close(data_socket);
        close(reader_socket);
        data_socket = -1;
        cancel_requested = 0;
    }

    // Drains the connection into tally; on_trigger runs once trigger_at bytes have arrived.
    void start_reader(std::uint64_t trigger_at = 0, std::function<void()> on_trigger = {}) {
        reader = std::thread([this, trigger_at, on_trigger = std::move(on_trigger)] {
            wiretest::read_into(reader_socket, tally, trigger_at);
            if (on_trigger && tally.count >= trigger_at) {
                on_trigger();
            }
            wiretest::read_into(reader_socket, tally);
        });
    }

    // Ends the stream on the sender's side and waits until the reader has taken all of it.
    const wiretest::byte_tally& finish_reader() {
        shutdown(data_socket, SHUT_WR);
        if (reader.joinable()) {
            reader.join();
        }
        return tally;
    }

    int reader_socket = -1;
    wiretest::byte_tally tally;
    std::thread reader;
};
