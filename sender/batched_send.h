#pragma once

#include <cstdint>

// Several blocks of the transfer buffer handed to the kernel together: the same send calls
// of at most 4096 bytes, fewer system calls.

// The most bytes any one send call carries.
constexpr std::int32_t largest_send_piece = 4096;
// The most blocks read or sent together; keeps a batch of tiny blocks within one readv.
constexpr std::int32_t most_blocks_per_batch = 64;

// How many blocks of block_size bytes one batch holds: as many as fill transfer_buffer, at
// least 1, at most most_blocks_per_batch. Never fails.
std::int32_t blocks_per_batch(std::int32_t block_size);

// Sends the first length bytes of data on socket_fd as consecutive blocks of block_size bytes
// (the last may be shorter), each block in pieces of at most largest_send_piece bytes, many
// pieces per system call. *accepted is set to the count of bytes that went: always the start
// of data, piece by piece as separate send calls would have taken them. Returns 0 when all
// went; 1 after a failed call (last_socket_error tells why) or when cancel_requested is set.
int send_blocks(int socket_fd, const unsigned char* data, std::int32_t length,
                std::int32_t block_size, std::int32_t* accepted);
