#pragma once

// A loopback TCP connection whose sending end goes into the sender's data_socket, and a
// reader thread that takes everything arriving at the other end until the stream ends.

#include <functional>
#include <thread>

#include "stream_check.h"

namespace streamcheck {

struct loopback_pair {
    int sender = -1;
    int reader = -1;
};

// Connects two sockets over 127.0.0.1 on a port the system picks; fails the test otherwise.
loopback_pair make_loopback_pair();

struct stream_reader {
    stream_tally tally;
    std::thread thread;
};

// Starts reading pair.reader until the end of the stream (or 20 s without data). Once
// trigger_at bytes have arrived, on_trigger runs once on the reader thread.
void start_reading(stream_reader& reader, int reader_socket, std::uint64_t trigger_at,
                   std::function<void()> on_trigger);

// Ends the sending direction of sender_socket so the reader sees the end of the stream
// after every byte already sent, then waits for the reader.
void finish_reading(stream_reader& reader, int sender_socket);

}  // namespace streamcheck
