#include "batched_send.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "interrupts.h"
#include "sender_state.h"
#include "socket_layer.h"

namespace {

// Pieces handed over per system call: one per block of the largest batch, so a batch goes in
// one call whatever its block size (blocks of up to 4096 bytes are one piece each).
constexpr auto messages_per_call = static_cast<std::size_t>(most_blocks_per_batch);

struct piece_queue {
    std::array<iovec, messages_per_call> pieces{};
    std::array<mmsghdr, messages_per_call> messages{};
    std::size_t count = 0;
};

// Sends every queued piece in order, adding each one's accepted bytes to *accepted. A piece
// cut short (by a signal, or by a peer that closed) is finished before the next one starts,
// as a separate send would be. Returns 0, or 1 after a failed call or a cancel request.
int send_queued_pieces(int socket_fd, piece_queue& queue, std::int32_t* accepted) {
    for (std::size_t index = 0; index < queue.count; ++index) {
        queue.messages[index] = mmsghdr{};
        queue.messages[index].msg_hdr.msg_iov = &queue.pieces[index];
        queue.messages[index].msg_hdr.msg_iovlen = 1;
    }
    std::size_t first = 0;
    while (first < queue.count) {
        if (cancel_requested != 0) {
            return 1;
        }
        const int reported = socket_send_batch(socket_fd, &queue.messages[first],
                                               static_cast<unsigned int>(queue.count - first));
        if (reported < 0) {
            return 1;
        }
        const std::size_t end = first + static_cast<std::size_t>(reported);
        while (first < end) {
            iovec& piece = queue.pieces[first];
            const std::size_t sent = queue.messages[first].msg_len;
            *accepted += static_cast<std::int32_t>(sent);
            if (sent < piece.iov_len) {
                // Every message the kernel reports is checked: the cut one goes again with its
                // rest, and the next call starts with it.
                piece.iov_base = static_cast<unsigned char*>(piece.iov_base) + sent;
                piece.iov_len -= sent;
                break;
            }
            ++first;
        }
    }
    return 0;
}

}  // namespace

std::int32_t blocks_per_batch(std::int32_t block_size) {
    if (block_size <= 0) {
        return 1;
    }
    return std::clamp(transfer_buffer_size / block_size, 1, most_blocks_per_batch);
}

int send_blocks(int socket_fd, const unsigned char* data, std::int32_t length,
                std::int32_t block_size, std::int32_t* accepted) {
    *accepted = 0;
    const std::int64_t block = std::max(block_size, 1);
    std::int32_t queued = 0;
    piece_queue queue;
    while (queued < length) {
        queue.count = 0;
        while (queue.count < messages_per_call && queued < length) {
            const std::int64_t block_end =
                std::min((queued / block + 1) * block, static_cast<std::int64_t>(length));
            const auto piece = static_cast<std::int32_t>(
                std::min(block_end - queued, static_cast<std::int64_t>(largest_send_piece)));
            // sendmmsg only reads the bytes; iovec has no const form.
            queue.pieces[queue.count] =
                iovec{const_cast<unsigned char*>(data + queued), static_cast<std::size_t>(piece)};
            ++queue.count;
            queued += piece;
        }
        if (send_queued_pieces(socket_fd, queue, accepted) != 0) {
            return 1;
        }
    }
    return 0;
}
