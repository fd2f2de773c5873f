#pragma once

#include <cstdint>

// The size of a source that has none until it ends: a pipe, a FIFO, a socket or a character
// device, read to its end of input.
constexpr std::int64_t unknown_file_size = -1;

// Stores the size of the open file fd in *file_size and returns 0: the file system's size of
// a file, the capacity of a block device, or unknown_file_size for a stream. When the query
// fails it prints two "Error: " lines naming file_name, leaves *file_size alone and returns 1.
int open_file_size(std::int64_t* file_size, int fd, const char* file_name);
