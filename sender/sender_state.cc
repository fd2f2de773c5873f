#include "sender_state.h"

#include "banner.h"

const char* const banner_title = "TCP/IP Data Transfer Utility for Win32 WINSOCK";

unsigned char quiet_flag = 0;
unsigned char debug_flag = 0;
unsigned char config_flag = 0;
unsigned char pause_flag = 0;
unsigned char test_flag = 0;
unsigned char no_file_flag = 0;
unsigned char sha256_flag = 0;

std::int32_t read_size = 0;
std::int32_t send_size = 0;
// Set to the buffer's size by the buffer-size rules, before any transfer.
std::int32_t buffer_capacity = 0;

std::array<unsigned char, transfer_buffer_size> transfer_buffer{};

std::list<std::string> file_list;

int listen_socket = -1;
int data_socket = -1;
int current_file = -1;

std::uint64_t total_bytes_sent = 0;
std::uint32_t data_checksum = 0;
digest_handle stream_digest = nullptr;
std::time_t start_time = 0;
std::time_t last_progress_time = 0;
unsigned char test_aborted = 0;
std::uint32_t pattern_counter = 0;

std::array<char, name_buffer_size> current_file_name{};
std::array<char, name_buffer_size> reply_line{};
