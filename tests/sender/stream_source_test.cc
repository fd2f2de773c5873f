// Sources whose size the file system does not give: a block device, sized by its own query,
// and a pipe or a FIFO, read to their end of input. Each is sent whole, counts as complete,
// and the next file follows on the same stream to catchwire.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <string_view>
#include <thread>

#include <gtest/gtest.h>

#include "sender_test_support.h"

namespace {

using namespace wiretest;

enum class source_kind { block_device, pipe, fifo };

struct source_case {
    const char* name;
    source_kind kind;
};

void PrintTo(const source_case& row, std::ostream* out) {
    *out << row.name;
}

// Opens the FIFO for writing once its reader has opened it; -1 after timeout_ms.
int open_fifo_writer(const std::string& path, int timeout_ms = 20000) {
    int fd = -1;
    wait_until([&] { return (fd = open(path.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }, timeout_ms);
    if (fd >= 0) {
        fcntl(fd, F_SETFL, 0);
    }
    return fd;
}

// Writes every byte to a pipe or a FIFO; false once its reader has gone.
bool write_all(int fd, std::string_view bytes) {
    signal(SIGPIPE, SIG_IGN);
    while (!bytes.empty()) {
        const ssize_t put = write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Writes bytes in two parts two seconds apart, so that the sender shows a progress line in
// between.
void feed_slowly(int fd, std::string_view bytes) {
    const std::size_t half = bytes.size() / 2;
    if (write_all(fd, bytes.substr(0, half))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2100));
        write_all(fd, bytes.substr(half));
    }
}

// A loop device attached to a file, detached when the test ends; path is empty when none
// could be attached, and failure then says why.
struct loop_device {
    std::string path;
    std::string failure;

    explicit loop_device(const std::string& file) {
        const program_result attached = run_program(
            "/bin/sh",
            {"-c", "PATH=/usr/sbin:/sbin:$PATH exec losetup --find --show \"$0\"", file});
        if (attached.exit_status == 0) {
            path = attached.out.substr(0, attached.out.find('\n'));
        }
        failure = attached.out + attached.err;
    }
    loop_device(const loop_device&) = delete;
    loop_device& operator=(const loop_device&) = delete;
    ~loop_device() {
        if (!path.empty()) {
            run_program("/bin/sh",
                        {"-c", "PATH=/usr/sbin:/sbin:$PATH exec losetup -d \"$0\"", path});
        }
    }
};

class StreamSource : public testing::TestWithParam<source_case> {};

TEST_P(StreamSource, IsSentWholeAndTheNextFileFollows) {
    const source_case& row = GetParam();
    const std::string dir = make_temp_dir();
    const std::string first = random_bytes(3 << 20, 41);
    const std::string second = write_file(dir + "/second", random_bytes(100000, 43));
    std::string source = dir + "/fifo";
    run_options options;
    std::unique_ptr<loop_device> device;
    if (row.kind == source_kind::block_device) {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root to attach a loop device";
        }
        device = std::make_unique<loop_device>(write_file(dir + "/image", first));
        if (device->path.empty()) {
            GTEST_SKIP() << "cannot attach a loop device with losetup: " << device->failure;
        }
        source = device->path;
    } else if (row.kind == source_kind::pipe) {
        source = "/dev/stdin";
        options.stdin_open = true;
    } else {
        ASSERT_EQ(mkfifo(source.c_str(), 0600), 0);
    }
    const std::string port = "-port=" + std::to_string(free_port());
    running_program sender = start_program(pitchwire_path(), {port, source, second}, options);
    program_guard sender_guard(sender);
    ASSERT_TRUE(wait_for_output(sender, "Waiting for connection"));
    running_program receiver = start_program(catchwire_path(), {port, "127.0.0.1", dir + "/copy"});
    program_guard receiver_guard(receiver);
    if (row.kind == source_kind::pipe) {
        feed_slowly(sender.stdin_fd, first);
        close_stdin(sender);
    } else if (row.kind == source_kind::fifo) {
        const fd_guard writer(open_fifo_writer(source));
        feed_slowly(writer.fd, first);
    }
    const program_result sent = finish_program(sender);
    const program_result received = finish_program(receiver);

    const std::string stream = first + read_file(second);
    EXPECT_EQ(sent.exit_status, 0) << sent.out;
    EXPECT_EQ(received.exit_status, 0) << received.out;
    EXPECT_TRUE(read_file(dir + "/copy") == stream) << "the copy is not both files in order";
    EXPECT_EQ(count_after(sent.out, "Successfully sent "), stream.size());
    EXPECT_EQ(text_after(sent.out, "TCPIP Data Checksum: "), checksum_hex(stream));
    // A device shows its size; a stream, whose size is not known until it ends, what has
    // been sent of it so far.
    static const std::regex progress("Send: Offset ([0-9,]+), FileSize: ([0-9,]+) KBS: ");
    int lines = 0;
    for (std::sregex_iterator line(sent.out.begin(), sent.out.end(), progress), end; line != end;
         ++line, ++lines) {
        EXPECT_EQ((*line)[2],
                  row.kind == source_kind::block_device ? "3,145,728" : (*line)[1].str());
    }
    EXPECT_TRUE(row.kind == source_kind::block_device || lines > 0) << "no progress line";
}

INSTANTIATE_TEST_SUITE_P(Sender, StreamSource,
                         testing::Values(source_case{"LoopDevice", source_kind::block_device},
                                         source_case{"Pipe", source_kind::pipe},
                                         source_case{"Fifo", source_kind::fifo}),
                         [](const testing::TestParamInfo<source_case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
