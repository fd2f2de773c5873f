// One end of a transfer dies or resets the connection: the other end must report it
// truthfully, keep exactly what it has, and exit by itself.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "fault_support.h"
#include "program_runner.h"

namespace {

using namespace wiretest;
using namespace faulttest;

constexpr std::size_t head_size = 1 << 20;

// A sparse file of 4 GiB whose first mebibyte is pseudo-random: large enough that no
// transfer finishes before the test interferes, cheap to make.
std::string make_sparse_source(const std::string& dir, std::string* head) {
    std::string path = dir + "/source.img";
    *head = random_bytes(head_size, 7);
    write_file(path, *head);
    EXPECT_EQ(truncate(path.c_str(), 4LL << 30), 0);
    return path;
}

std::string port_option(int port) {
    return "-port=" + std::to_string(port);
}

TEST(BrokenConnection, ReceiverKilledMidTransfer) {
    const std::string dir = make_temp_dir();
    std::string head;
    const std::string source = make_sparse_source(dir, &head);
    const std::string copy = dir + "/copy.img";
    const int port = free_port();

    running_program sender = start_program(pitchwire_path(), {port_option(port), source});
    program_guard sender_guard(sender);
    ASSERT_TRUE(wait_for_output(sender, "Waiting for connection"));
    running_program receiver =
        start_program(catchwire_path(), {port_option(port), "127.0.0.1", copy});
    program_guard receiver_guard(receiver);
    ASSERT_TRUE(wait_until([&] { return file_size_or_missing(copy) >= 1 << 20; }, 20000));
    kill(receiver.pid, SIGKILL);
    finish_program(receiver, 5000);

    const program_result sent = finish_program(sender, 20000);
    EXPECT_FALSE(sent.timed_out);
    EXPECT_EQ(sent.term_signal, 0) << "the sender died of a signal";
    EXPECT_EQ(sent.exit_status, 1);
    const std::size_t error_at = sent.out.find("\nError: send failed: ");
    ASSERT_NE(error_at, std::string::npos) << sent.out;
    const std::string reason =
        sent.out.substr(error_at + 21, sent.out.find('\n', error_at + 1) - (error_at + 21));
    EXPECT_TRUE(reason == "Connection Reset" || reason == "Connection Aborted") << reason;

    // The totals come after the error and cover exactly the bytes that went out.
    const auto count = count_after(sent.out, "Successfully sent ");
    ASSERT_TRUE(count.has_value()) << sent.out;
    EXPECT_GT(sent.out.find("Successfully sent "), error_at);
    EXPECT_LT(*count, 4ULL << 30);
    EXPECT_EQ(checksum_in(sent.out), checksum_hex(std::string_view(head).substr(
                                         0, std::min<std::size_t>(*count, head_size))));
}

TEST(BrokenConnection, SenderKilledLeavesAConsistentCopy) {
    const std::string dir = make_temp_dir();
    std::string head;
    const std::string source = make_sparse_source(dir, &head);
    const std::string copy = dir + "/copy.img";
    const int port = free_port();

    running_program sender = start_program(pitchwire_path(), {port_option(port), source});
    program_guard sender_guard(sender);
    ASSERT_TRUE(wait_for_output(sender, "Waiting for connection"));
    running_program receiver =
        start_program(catchwire_path(), {port_option(port), "127.0.0.1", copy});
    program_guard receiver_guard(receiver);
    ASSERT_TRUE(wait_until([&] { return file_size_or_missing(copy) >= 1 << 20; }, 20000));
    kill(sender.pid, SIGKILL);
    finish_program(sender, 5000);

    // The stream simply ends: the receiver keeps what arrived and says exactly how much.
    const program_result received = finish_program(receiver, 30000);
    EXPECT_FALSE(received.timed_out);
    EXPECT_EQ(received.exit_status, 0) << received.out;
    const long long kept = file_size_or_missing(copy);
    ASSERT_GE(kept, 1 << 20);
    EXPECT_LT(kept, 4LL << 30);
    EXPECT_EQ(count_after(received.out, "Successfully received "),
              static_cast<std::uint64_t>(kept));
    EXPECT_EQ(checksum_in(received.out), file_prefix_checksum(copy, kept));
    EXPECT_TRUE(is_prefix_of(copy, source));
}

// A sender that resets the connection instead of closing it: the copy is incomplete and
// must not be kept as if it were whole.
TEST(BrokenConnection, ResetConnectionDeletesTheFile) {
    const std::string dir = make_temp_dir();
    const std::string copy = dir + "/copy.img";
    const int port = free_port();
    const int listen_fd = listen_on_loopback(port);
    ASSERT_GE(listen_fd, 0);
    fd_guard listen_guard(listen_fd);

    running_program receiver =
        start_program(catchwire_path(), {port_option(port), "127.0.0.1", copy});
    program_guard receiver_guard(receiver);
    const int peer = accept_within(listen_fd, 10000);
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(send_all(peer, random_bytes(100000, 3)));
    ASSERT_TRUE(wait_until([&] { return file_size_or_missing(copy) >= 65536; }, 10000));
    close_with_reset(peer);

    const program_result received = finish_program(receiver, 10000);
    EXPECT_FALSE(received.timed_out);
    EXPECT_EQ(received.exit_status, 1);
    EXPECT_NE(received.out.find("\nError: recv failed: Connection Reset\n"), std::string::npos)
        << received.out;
    EXPECT_EQ(received.out.find("Successfully received"), std::string::npos);
    EXPECT_EQ(file_size_or_missing(copy), -1) << "the incomplete copy was kept";
}

// The reset comes after two full pieces, before any byte of a third was written: both full
// pieces are complete and must stay; only a piece in progress may be deleted.
TEST(BrokenConnection, ResetAfterFullPiecesKeepsThem) {
    const std::string dir = make_temp_dir();
    const int port = free_port();
    const int listen_fd = listen_on_loopback(port);
    ASSERT_GE(listen_fd, 0);
    fd_guard listen_guard(listen_fd);
    const std::string stream = random_bytes(2 * head_size + 10000, 11);

    running_program receiver =
        start_program(catchwire_path(),
                      {port_option(port), "-autosize=1", "-autoname", "127.0.0.1", dir + "/IMAGE"});
    program_guard receiver_guard(receiver);
    const int peer = accept_within(listen_fd, 10000);
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(send_all(peer, stream));
    ASSERT_TRUE(wait_until(
        [&] {
            return file_size_or_missing(dir + "/IMAGE.001") == static_cast<long long>(head_size);
        },
        10000));
    close_with_reset(peer);

    const program_result received = finish_program(receiver, 10000);
    EXPECT_FALSE(received.timed_out);
    EXPECT_EQ(received.exit_status, 1);
    EXPECT_NE(received.out.find("\nError: recv failed: Connection Reset\n"), std::string::npos)
        << received.out;
    EXPECT_TRUE(read_file(dir + "/IMAGE.000") == stream.substr(0, head_size));
    EXPECT_TRUE(read_file(dir + "/IMAGE.001") == stream.substr(head_size, head_size))
        << "a complete piece was deleted";
    EXPECT_EQ(file_size_or_missing(dir + "/IMAGE.002"), -1);
}

}  // namespace
