#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <list>
#include <string>

#include "answer_input.h"
#include "stream_digest.h"

// The sender's one global state; every part of the program reads and writes it by name.

extern unsigned char quiet_flag;
extern unsigned char debug_flag;
extern unsigned char config_flag;
extern unsigned char pause_flag;
extern unsigned char test_flag;
extern unsigned char no_file_flag;
// "-sha256" was given: the stream's SHA-256 is printed after its checksum.
extern unsigned char sha256_flag;

extern std::int32_t read_size;
extern std::int32_t send_size;
extern std::int32_t buffer_capacity;

constexpr std::int32_t transfer_buffer_size = 32768;
extern std::array<unsigned char, transfer_buffer_size> transfer_buffer;

// The file names of the command line, in order; an entry is released once its file is sent.
extern std::list<std::string> file_list;

extern int listen_socket;
extern int data_socket;
extern int current_file;

extern std::uint64_t total_bytes_sent;
extern std::uint32_t data_checksum;
// The SHA-256 of the same bytes as data_checksum, wherever that is added to; made only
// with "-sha256".
extern digest_handle stream_digest;
extern std::time_t start_time;
extern std::time_t last_progress_time;
extern unsigned char test_aborted;
extern std::uint32_t pattern_counter;

// Name of the file being sent and the operator's last answer at the media prompt: each holds
// at most max_name_length characters and its terminator.
constexpr std::size_t name_buffer_size = max_name_length + 1;
extern std::array<char, name_buffer_size> current_file_name;
extern std::array<char, name_buffer_size> reply_line;
