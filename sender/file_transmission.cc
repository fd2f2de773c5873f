#include "file_transmission.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <span>
#include <string_view>

#include "answer_input.h"
#include "batched_send.h"
#include "checksum.h"
#include "console.h"
#include "file_size.h"
#include "interrupts.h"
#include "network.h"
#include "number_format.h"
#include "sender_state.h"
#include "socket_layer.h"

namespace {

enum class answer_kind { quit, keep_name, new_name };

// Copies text into current_file_name; callers pass at most 511 characters.
void set_current_file_name(const char* text) {
    std::snprintf(current_file_name.data(), current_file_name.size(), "%s", text);
}

// Asks for new media or a new name until an answer can be used. Returns quit for "Q", for
// end of input and for an interrupt; keep_name for Enter; new_name once the typed name is in
// current_file_name.
answer_kind ask_for_media() {
    for (;;) {
        std::printf("Enter new filename or press [ENTER] when ready or \"Q\" to quit: ");
        std::fflush(stdout);
        const int result = read_answer_line(reply_line.data());
        if (result == 1) {
            return answer_kind::quit;
        }
        if (result == 0) {
            break;
        }
    }
    const std::string_view answer(reply_line.data());
    if (answer == "q" || answer == "Q") {
        return answer_kind::quit;
    }
    if (answer.empty()) {
        return answer_kind::keep_name;
    }
    set_current_file_name(reply_line.data());
    std::printf("Opening file: \"%s\"\n", current_file_name.data());
    return answer_kind::new_name;
}

// Opens current_file_name into current_file. A directory counts as a file that cannot be
// opened: it opens, but is closed again and reported as EISDIR. Returns 0, or 1 after
// printing why the file cannot be opened (or silently, when an interrupt cut the open short).
int open_current_file() {
    current_file = open(current_file_name.data(), O_RDONLY | O_CLOEXEC);
    int error_number = errno;
    // A FIFO's open waits for its writer: an interrupt then ends the run, not this file.
    if (current_file == -1 && cancel_requested != 0) {
        return 1;
    }
    if (current_file != -1) {
        struct stat status {};
        if (fstat(current_file, &status) != 0 || !S_ISDIR(status.st_mode)) {
            return 0;
        }
        close(current_file);
        current_file = -1;
        error_number = EISDIR;
    }
    std::printf("\n");
    std::printf("Error: Could not open %s\n", current_file_name.data());
    std::printf("Error: %s\n", std::strerror(error_number));
    return 1;
}

// Returns 1 with the abort notice printed, for the loops to pass on.
int report_abort() {
    std::printf("\nNotice: send was aborted\n");
    return 1;
}

// The first count entries cut transfer_buffer into blocks of read_size bytes, in order.
std::array<iovec, most_blocks_per_batch> block_layout(std::int32_t count) {
    std::array<iovec, most_blocks_per_batch> blocks{};
    for (std::int32_t index = 0; index < count; ++index) {
        blocks[static_cast<std::size_t>(index)] =
            iovec{transfer_buffer.data() + static_cast<std::ptrdiff_t>(index) * read_size,
                  static_cast<std::size_t>(read_size)};
    }
    return blocks;
}

// Fills the blocks with one readv, as one read of read_size bytes per block would fill them;
// a short read ends the data there. Returns the byte count, 0 at the end of the file, or -1
// with errno set.
ssize_t read_blocks(std::span<const iovec> blocks) {
    return readv(current_file, blocks.data(), static_cast<int>(blocks.size()));
}

// Sends the length bytes read into transfer_buffer, block by block, and counts each block
// that went out whole in *sent, total_bytes_sent and data_checksum; a block cut off by a
// failure is not counted, except after an interrupt: then every byte the connection took
// counts, so that the totals never fall short of what the receiver may have read. Returns 0,
// or 1 after a send failure or an interrupt.
int send_read_blocks(std::int32_t length, std::uint64_t* sent) {
    std::int32_t accepted = 0;
    const int status =
        send_blocks(data_socket, transfer_buffer.data(), length, read_size, &accepted);
    std::int32_t counted = length;
    if (status != 0) {
        counted = cancel_requested != 0 ? accepted : accepted - accepted % read_size;
    }
    *sent += static_cast<std::uint64_t>(counted);
    total_bytes_sent += static_cast<std::uint64_t>(counted);
    data_checksum += checksum_bytes(transfer_buffer.data(), counted);
    if (sha256_flag != 0) {
        add_to_digest(stream_digest, transfer_buffer.data(), static_cast<std::size_t>(counted));
    }
    if (status == 0) {
        return 0;
    }
    const int error_code = last_socket_error();
    if (cancel_requested != 0) {
        return report_abort();
    }
    std::printf("\n");
    std::printf("Error: send failed: %s\n", socket_error_text(error_code));
    return 1;
}

// Reads and sends the open file to its end. *sent counts the bytes of whole blocks that went
// out. Returns 0 at the end of the file, or 1 after an error, an abort or an interrupt.
int send_file_contents(std::int64_t file_size, std::uint64_t* sent) {
    // Advice only: a pipe or a device refuses it and is read just the same.
    posix_fadvise(current_file, 0, 0, POSIX_FADV_SEQUENTIAL);
    const std::int32_t batch_blocks = blocks_per_batch(read_size);
    const std::array<iovec, most_blocks_per_batch> layout = block_layout(batch_blocks);
    const std::span<const iovec> blocks =
        std::span(layout).first(static_cast<std::size_t>(batch_blocks));
    const std::time_t file_start = std::time(nullptr);
    last_progress_time = file_start;
    for (;;) {
        // Blocks go together only within one second: the clock is read between batches.
        if (std::time(nullptr) > last_progress_time) {
            show_file_progress(*sent, file_size, file_start);
            if (ask_abort() == 1) {
                return report_abort();
            }
            last_progress_time = std::time(nullptr);
        }
        if (cancel_requested != 0) {
            return report_abort();
        }
        const ssize_t count = read_blocks(blocks);
        if (count == 0) {
            return 0;
        }
        if (count < 0) {
            const int error_number = errno;
            if (cancel_requested != 0) {
                return report_abort();
            }
            std::printf("\n");
            std::printf("Error: read failed: %s\n", std::strerror(error_number));
            return 1;
        }
        if (send_read_blocks(static_cast<std::int32_t>(count), sent) != 0) {
            return 1;
        }
    }
}

}  // namespace

void show_file_progress(std::uint64_t sent, std::int64_t file_size, std::time_t file_start) {
    std::array<char, count_text_size> sent_text{};
    std::array<char, count_text_size> size_text{};
    format_count(sent, sent_text.data());
    // A stream's size so far is what has been sent of it.
    const std::uint64_t shown_size =
        file_size == unknown_file_size ? sent : static_cast<std::uint64_t>(file_size);
    format_count(shown_size, size_text.data());
    std::printf("Send: Offset %s, FileSize: %s KBS: %u    \r", sent_text.data(), size_text.data(),
                transfer_rate(sent, file_start));
    std::fflush(stdout);
}

int send_file(const char* file_name) {
    set_current_file_name(file_name);
    bool asking = false;
    for (;;) {
        if (!asking) {
            std::printf("Opening file: %s\n", current_file_name.data());
        }
        if (asking || pause_flag != 0) {
            if (ask_for_media() == answer_kind::quit) {
                return 1;
            }
        }
        if (open_current_file() == 0) {
            break;
        }
        if (cancel_requested != 0) {
            return 1;
        }
        asking = true;
    }

    std::int64_t file_size = 0;
    if (open_file_size(&file_size, current_file, current_file_name.data()) != 0) {
        return 1;
    }

    std::uint64_t sent = 0;
    if (send_file_contents(file_size, &sent) != 0) {
        return 1;
    }
    clear_status_line();
    close(current_file);
    current_file = -1;

    // A stream has no size to fall short of: its end of input is its whole content.
    if (file_size != unknown_file_size && sent != static_cast<std::uint64_t>(file_size)) {
        std::array<char, count_text_size> sent_text{};
        std::array<char, count_text_size> size_text{};
        format_count(sent, sent_text.data());
        format_count(static_cast<std::uint64_t>(file_size), size_text.data());
        std::printf("\n");
        std::printf("Error: Could not send complete contents of file\n");
        std::printf("File:     %s\n", current_file_name.data());
        std::printf("Offset:   %s\n", sent_text.data());
        std::printf("FileSize: %s\n", size_text.data());
        return 1;
    }
    return 0;
}
