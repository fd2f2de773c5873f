#pragma once

#include <cstdint>
#include <ctime>

// Reads the connected data_socket until the sender closes it, counting and checksumming
// every byte and writing it to output_fd (nowhere in "-" mode), piece by piece with
// "-autosize". Returns 0 after printing the summary. Returns 1 after a receive or write
// failure or the operator's abort (message printed; the current piece is to be deleted),
// and at once when cancel_requested is set (nothing printed; the file is to be kept).
int receive_stream(int& output_fd);

// Rewrites the progress line "Recv: Total Bytes Received: ..." in place.
void show_progress(std::uint64_t total_received, std::time_t start_time);
