#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "answer_input.h"
#include "stream_digest.h"

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

// "-sha256" was given, and the digest "-sha256=" asks for in lower case (empty: none).
extern unsigned char sha256_flag;
extern std::string expected_digest;
// The SHA-256 of every byte received, and with "-autosize" and files that of the current
// piece; each nullptr unless it is made.
extern digest_handle stream_digest;
extern digest_handle piece_digest;
// The stream's digest was not the one expected: the run ends with status 1.
extern unsigned char digest_mismatch_flag;
// With numbered pieces: the manifest's name (empty: no manifest), the lines of every
// completed piece, and whether the file holds all but the newest of them, so that the
// newest can be appended instead of the whole file being written again.
extern std::string manifest_name;
extern std::string manifest_lines;
extern unsigned char manifest_in_step_flag;
