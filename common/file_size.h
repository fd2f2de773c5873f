#pragma once

#include <cstdint>

// Stores the size of the open file fd in *file_size and returns 0. When fstat fails it prints
// two "Error: " lines naming file_name, leaves *file_size alone and returns 1.
int open_file_size(std::int64_t* file_size, int fd, const char* file_name);
