#include "receiver_state.h"

unsigned char quiet_flag = 0;
unsigned char config_flag = 0;
unsigned char no_file_flag = 0;
unsigned char autosize_flag = 0;
unsigned char autoname_flag = 0;

std::uint64_t piece_limit = 0;
std::uint64_t piece_written = 0;

const char* host_address = nullptr;
std::uint32_t destination_address = 0;
std::string output_name;
unsigned char output_name_given = 0;

int data_socket = -1;
int standard_output_sink = -1;

std::array<unsigned char, recv_buffer_size> recv_buffer{};

std::string next_name;
std::array<char, max_name_length + 1> typed_name{};

std::vector<file_identity> written_pieces;

unsigned char sha256_flag = 0;
std::string expected_digest;
digest_handle stream_digest = nullptr;
digest_handle piece_digest = nullptr;
unsigned char digest_mismatch_flag = 0;
std::string manifest_name;
std::string manifest_lines;
unsigned char manifest_in_step_flag = 0;
