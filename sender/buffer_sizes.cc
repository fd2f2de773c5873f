#include "buffer_sizes.h"

#include <cstdint>
#include <cstdio>

#include "sender_state.h"

namespace {

constexpr std::int32_t default_read_size = 4096;
constexpr std::int32_t largest_generated_block = 16384;

}  // namespace

void apply_buffer_sizes() {
    buffer_capacity = transfer_buffer_size;
    if (send_size == 0 || send_size > buffer_capacity) {
        send_size = buffer_capacity;
    }
    const std::int32_t generated_block =
        send_size < largest_generated_block ? send_size : largest_generated_block;
    if (no_file_flag != 0) {
        read_size = generated_block;
    } else if (read_size == 0) {
        read_size = default_read_size;
    } else if (read_size > buffer_capacity) {
        read_size = buffer_capacity;
    }
    if (debug_flag != 0) {
        std::printf("\n");
        std::printf("Notice: Setting read buffer size to %d bytes\n", read_size);
        std::printf("Notice: Setting send buffer size to %d bytes\n", send_size);
        std::printf("\n");
    }
}
