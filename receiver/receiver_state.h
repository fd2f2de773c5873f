#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "answer_input.h"

// The receiver's one global state; every part of the program reads and writes it by name.

extern unsigned char quiet_flag;
extern unsigned char config_flag;
extern unsigned char no_file_flag;
extern unsigned char autosize_flag;
extern unsigned char autoname_flag;

// Bytes per piece with "-autosize=n" (n MiB), and bytes written to the current piece.
extern std::uint64_t piece_limit;
extern std::uint64_t piece_written;

// The sender's address as typed, or nullptr when none was given, and the IPv4 address it
// stands for (network order) once it has been checked.
extern const char* host_address;
extern std::uint32_t destination_address;
// The name of the current output file or piece; output_name_given tells whether one was named.
extern std::string output_name;
extern unsigned char output_name_given;

extern int data_socket;
// A copy of standard output for the data when the output file is standard output itself
// (messages then go to standard error), until the output file takes it over; else -1.
extern int standard_output_sink;

constexpr std::size_t recv_buffer_size = 32768;
extern std::array<unsigned char, recv_buffer_size> recv_buffer;

// The next piece's name while it is made, and the operator's typed answer.
extern std::string next_name;
extern std::array<char, max_name_length + 1> typed_name;

// The regular files (device, inode) this run has written pieces into.
using file_identity = std::pair<dev_t, ino_t>;
extern std::vector<file_identity> written_pieces;
