#pragma once

#include <array>
#include <cstdint>
#include <string>

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

// The sender's address as typed, or nullptr when none was given.
extern const char* host_address;
// The name of the current output file or piece; output_name_given tells whether one was named.
extern std::string output_name;
extern unsigned char output_name_given;

extern int data_socket;

constexpr std::size_t recv_buffer_size = 32768;
extern std::array<unsigned char, recv_buffer_size> recv_buffer;

// The next piece's name while it is made, and the operator's typed answer.
extern std::string next_name;
extern std::array<char, max_name_length + 1> typed_name;
