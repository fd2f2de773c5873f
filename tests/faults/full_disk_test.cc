// The receiver runs out of room: it must say why with the system's own text, delete only
// the piece it was writing, keep the earlier pieces, and exit 1. (A file-size limit, the
// other way a write fails, is covered by the receiver's own tests.)

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "loopback_peer.h"
#include "program_runner.h"

namespace {

using namespace wiretest;

// Unmounts the small file system when the test ends, whatever happened.
struct mount_guard {
    std::string path;
    ~mount_guard() {
        umount2(path.c_str(), MNT_DETACH);
    }
};

TEST(FullDisk, FullFileSystemKeepsEarlierPieces) {
    const std::string disk = make_temp_dir() + "/disk";
    std::filesystem::create_directory(disk);
    if (mount("wiretest", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2560k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    const mount_guard unmount{disk};
    const fd_guard listener(listen_loopback());
    ASSERT_GE(listener.fd, 0);
    constexpr std::size_t piece = 1 << 20;
    const std::string stream = random_bytes(4 * piece, 9);

    run_options on_disk;
    on_disk.working_directory = disk;
    running_program receiver = start_program(catchwire_path(),
                                             {"-port=" + std::to_string(bound_port(listener.fd)),
                                              "-autosize=1", "-autoname", "127.0.0.1", "IMAGE"},
                                             on_disk);
    program_guard receiver_guard(receiver);
    const fd_guard peer(accept_within(listener.fd));
    ASSERT_GE(peer.fd, 0) << "the receiver never connected";
    send_all(peer.fd, stream);  // fails once the receiver has gone

    const program_result received = finish_program(receiver, 15000);
    EXPECT_EQ(received.term_signal, 0) << "the receiver died of a signal";
    EXPECT_EQ(received.exit_status, 1);
    EXPECT_NE(received.out.find("\n\nError: Could not write to file: No space left on device\n"),
              std::string::npos)
        << received.out;
    EXPECT_TRUE(read_file(disk + "/IMAGE.000") == stream.substr(0, piece));
    EXPECT_TRUE(read_file(disk + "/IMAGE.001") == stream.substr(piece, piece));
    EXPECT_EQ(file_length(disk + "/IMAGE.002"), -1) << "the piece in progress was kept";
}

}  // namespace
