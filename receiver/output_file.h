#pragma once

#include <cstddef>

// Creates the file name for reading and writing, empty (an existing file is truncated).
// Returns its descriptor, or -1 with errno set.
int create_output_file(const char* name);

// True when fd is open on a regular file. Anything else (a device such as /dev/null, a FIFO)
// was there before the program and is never deleted.
bool is_regular_file(int fd);

// Writes all length bytes of data to fd, going on after short writes. Returns 0 when every
// byte is out, or 1 with errno set to the failure (ENOSPC when the device takes nothing).
int write_all(int fd, const unsigned char* data, std::size_t length);
