#pragma once

#include <cstddef>

// Creates the file name for reading and writing, empty (an existing file is truncated).
// Returns its descriptor, or -1 with errno set.
int create_output_file(const char* name);

// True when name itself (not a link to it) is a regular file and the very file open on fd.
// Anything else was there before the program (a device such as /dev/null, a FIFO, the
// /dev/stdout link) or is no longer ours to remove, and is never deleted.
bool is_deletable_output(const char* name, int fd);

// When name is the program's own standard output (/dev/stdout, /proc/self/fd/1, or any other
// name of the same open file), sends every message to standard error from now on, so that
// standard output carries only the data, and returns a descriptor of that output for the
// data. Returns -1 otherwise.
int take_standard_output_for_data(const char* name);

// Remembers the regular file open on fd as a piece written in this run.
void remember_written_piece(int fd);
// True when name is the same file as a piece written in this run, which a new piece of that
// name would truncate.
bool is_written_piece(const char* name);

// Writes all length bytes of data to fd, going on after short writes. Returns 0 when every
// byte is out, or 1 with errno set to the failure (ENOSPC when the device takes nothing).
int write_all(int fd, const unsigned char* data, std::size_t length);
