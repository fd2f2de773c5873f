// The receiver runs out of room: it must say why with the system's own text, delete only
// the piece it was writing, and exit 1.

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "fault_support.h"
#include "program_runner.h"

namespace {

using namespace wiretest;
using namespace faulttest;

// Unmounts the small file system when the test ends, whatever happened.
struct mount_guard {
    std::string path;
    explicit mount_guard(std::string mounted) : path(std::move(mounted)) {}
    mount_guard(const mount_guard&) = delete;
    mount_guard& operator=(const mount_guard&) = delete;
    ~mount_guard() {
        umount2(path.c_str(), MNT_DETACH);
    }
};

// Feeds stream to the receiver that connects to port; gives up quietly when it goes away.
void feed_receiver(int listen_fd, const std::string& stream) {
    const int peer = accept_within(listen_fd, 10000);
    ASSERT_GE(peer, 0) << "the receiver never connected";
    fd_guard peer_guard(peer);
    send_all(peer, stream);
}

TEST(FullDisk, FileSizeLimitGivesTheTrueErrorAndDeletesTheFile) {
    const std::string dir = make_temp_dir();
    const std::string copy = dir + "/copy.img";
    const int port = free_port();
    const int listen_fd = listen_on_loopback(port);
    ASSERT_GE(listen_fd, 0);
    fd_guard listen_guard(listen_fd);

    run_options limited;
    limited.file_size_limit = 100000;
    running_program receiver = start_program(
        catchwire_path(), {"-port=" + std::to_string(port), "127.0.0.1", copy}, limited);
    program_guard receiver_guard(receiver);
    feed_receiver(listen_fd, random_bytes(300000, 5));

    const program_result received = finish_program(receiver, 15000);
    EXPECT_FALSE(received.timed_out);
    EXPECT_EQ(received.term_signal, 0) << "the receiver died of a signal";
    EXPECT_EQ(received.exit_status, 1);
    EXPECT_NE(received.out.find("\n\nError: Could not write to file: File too large\n"),
              std::string::npos)
        << received.out;
    EXPECT_EQ(file_size_or_missing(copy), -1);
}

TEST(FullDisk, FullFileSystemKeepsEarlierPieces) {
    const std::string dir = make_temp_dir();
    const std::string disk = dir + "/disk";
    std::filesystem::create_directory(disk);
    if (mount("wiretest", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2560k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    mount_guard unmount(disk);
    const int port = free_port();
    const int listen_fd = listen_on_loopback(port);
    ASSERT_GE(listen_fd, 0);
    fd_guard listen_guard(listen_fd);
    constexpr std::size_t piece = 1 << 20;
    const std::string stream = random_bytes(4 * piece, 9);

    run_options on_disk;
    on_disk.working_directory = disk;
    running_program receiver = start_program(
        catchwire_path(),
        {"-port=" + std::to_string(port), "-autosize=1", "-autoname", "127.0.0.1", "IMAGE"},
        on_disk);
    program_guard receiver_guard(receiver);
    feed_receiver(listen_fd, stream);

    const program_result received = finish_program(receiver, 15000);
    EXPECT_FALSE(received.timed_out);
    EXPECT_EQ(received.exit_status, 1);
    EXPECT_NE(received.out.find("\n\nError: Could not write to file: No space left on device\n"),
              std::string::npos)
        << received.out;
    EXPECT_TRUE(read_file(disk + "/IMAGE.000") == stream.substr(0, piece));
    EXPECT_TRUE(read_file(disk + "/IMAGE.001") == stream.substr(piece, piece));
    EXPECT_EQ(file_size_or_missing(disk + "/IMAGE.002"), -1) << "the piece in progress was kept";
}

}  // namespace
