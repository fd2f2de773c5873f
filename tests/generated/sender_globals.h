#pragma once

// Puts the sender's state back to how main leaves it before a transfer begins, with
// data_socket connected to a reader over loopback.

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>

#include "interrupts.h"
#include "loopback_reader.h"
#include "sender_state.h"

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
        pair = streamcheck::make_loopback_pair();
        data_socket = pair.sender;
    }

    void TearDown() override {
        streamcheck::finish_reading(reader, pair.sender);
        if (pair.sender >= 0) {
            close(pair.sender);
        }
        if (pair.reader >= 0) {
            close(pair.reader);
        }
        data_socket = -1;
        cancel_requested = 0;
    }

    // Starts draining the connection; on_trigger runs once trigger_at bytes have arrived.
    void start_reader(std::uint64_t trigger_at = 0, std::function<void()> on_trigger = {}) {
        streamcheck::start_reading(reader, pair.reader, trigger_at, std::move(on_trigger));
    }

    // Ends the stream on the sender's side and waits until the reader has taken all of it.
    const streamcheck::stream_tally& finish_reader() {
        streamcheck::finish_reading(reader, pair.sender);
        return reader.tally;
    }

    streamcheck::loopback_pair pair;
    streamcheck::stream_reader reader;
};
