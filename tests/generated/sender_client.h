#pragma once

// The receiving end of a test against the running sender: a plain socket that connects to
// 127.0.0.1 and reads the stream.

#include <cstdint>

#include "stream_check.h"

// Connects to the sender on 127.0.0.1:port, retrying while it is not yet listening.
// Returns the socket, or -1 when 10 s pass without a connection.
int connect_to_sender(int port);

// Reads into tally until it holds at least until_count bytes, or to the end of the stream
// when until_count is 0. Returns false when the stream ended or stalled before that.
bool read_stream(int fd, streamcheck::stream_tally& tally, std::uint64_t until_count = 0);
