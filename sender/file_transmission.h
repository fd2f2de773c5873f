#pragma once

#include <cstdint>
#include <ctime>

// Sends the whole file over data_socket, asking the operator for another name while it cannot
// be opened (and before it with "-pause"). Returns 0 when every byte went out and the file is
// closed; 1 on "Q", end of input, an error, an abort or an interrupt (message printed; the
// file may be left open for main to close).
int send_file(const char* file_name);

// Rewrites the progress line "Send: Offset ..., FileSize: ... KBS: ..." in place.
void show_file_progress(std::uint64_t sent, std::int64_t file_size, std::time_t file_start);
