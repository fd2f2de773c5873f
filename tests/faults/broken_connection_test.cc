// One end of a transfer dies or resets the connection: the other end must report it
// truthfully, keep exactly what it has, and exit by itself.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loopback_peer.h"
#include "program_runner.h"

namespace {

using namespace wiretest;

constexpr std::size_t mib = 1 << 20;

// pitchwire sending a sparse 4 GiB file whose first mebibyte is pseudo-random (too large to
// finish before the test interferes, cheap to make) to catchwire, both started and running
// once the copy holds a mebibyte.
struct running_pair {
    std::string dir = make_temp_dir();
    std::string head = random_bytes(mib, 7);
    std::string copy = dir + "/copy.img";
    running_program sender;
    running_program receiver;
    program_guard sender_guard{sender};
    program_guard receiver_guard{receiver};

    running_pair() {
        const std::string source = write_file(dir + "/source.img", head);
        EXPECT_EQ(truncate(source.c_str(), 4LL << 30), 0);
        const std::string port = "-port=" + std::to_string(free_port());
        sender = start_program(pitchwire_path(), {port, source});
        EXPECT_TRUE(wait_for_output(sender, "Waiting for connection"));
        receiver = start_program(catchwire_path(), {port, "127.0.0.1", copy});
        EXPECT_TRUE(wait_until([&] { return file_length(copy) >= 1 << 20; }, 20000));
    }
};

TEST(BrokenConnection, ReceiverKilledMidTransfer) {
    running_pair pair;
    kill(pair.receiver.pid, SIGKILL);
    finish_program(pair.receiver, 5000);

    const program_result sent = finish_program(pair.sender, 20000);
    EXPECT_EQ(sent.term_signal, 0) << "the sender died of a signal";
    EXPECT_EQ(sent.exit_status, 1);
    const std::string reason = text_after(sent.out, "\nError: send failed: ");
    EXPECT_TRUE(reason == "Connection Reset" || reason == "Connection Aborted") << sent.out;
    // The totals come after the error and cover exactly the bytes that went out.
    EXPECT_GT(sent.out.rfind("Successfully sent "), sent.out.find("Error: send failed: "));
    const std::uint64_t count = count_after(sent.out, "Successfully sent ");
    EXPECT_LT(count, 4ULL << 30);
    EXPECT_EQ(text_after(sent.out, "TCPIP Data Checksum: "),
              checksum_hex(std::string_view(pair.head).substr(0, count)));
}

TEST(BrokenConnection, SenderKilledLeavesAConsistentCopy) {
    running_pair pair;
    kill(pair.sender.pid, SIGKILL);
    finish_program(pair.sender, 5000);

    // The stream simply ends: the receiver keeps what arrived and says exactly how much.
    const program_result received = finish_program(pair.receiver, 30000);
    EXPECT_EQ(received.exit_status, 0) << received.out;
    const std::string copy = read_file(pair.copy);
    ASSERT_GE(copy.size(), mib);
    EXPECT_LT(copy.size(), 4ULL << 30);
    EXPECT_EQ(count_after(received.out, "Successfully received "), copy.size());
    EXPECT_EQ(text_after(received.out, "TCPIP Data Checksum: "), checksum_hex(copy));
    EXPECT_TRUE(copy.starts_with(pair.head));
    EXPECT_EQ(copy.find_first_not_of('\0', mib), std::string::npos) << "the copy differs";
}

// A sender that resets the connection instead of closing it: a file or piece in progress is
// incomplete and must not be kept as if it were whole, but a complete piece must stay, even
// when the reset comes before any byte of the next one was written.
struct reset_case {
    const char* name;
    std::vector<std::string> args;  // after the port option
    std::size_t stream_size;
    std::string wait_file;  // the reset comes once this file has wait_size bytes or more
    long long wait_size;
    std::vector<std::string> kept;  // complete pieces of a mebibyte each, in order
    std::string deleted;
};

// Names the case in test listings, which would otherwise show its bytes (pointers included).
void PrintTo(const reset_case& row, std::ostream* out) {
    *out << row.name;
}

class ResetConnection : public testing::TestWithParam<reset_case> {};

TEST_P(ResetConnection, KeepsOnlyCompleteFiles) {
    const reset_case& row = GetParam();
    const std::string dir = make_temp_dir();
    const fd_guard listener(listen_loopback());
    ASSERT_GE(listener.fd, 0);
    const std::string stream = random_bytes(row.stream_size, 11);
    run_options in_dir;
    in_dir.working_directory = dir;
    std::vector<std::string> args{"-port=" + std::to_string(bound_port(listener.fd))};
    args.insert(args.end(), row.args.begin(), row.args.end());
    running_program receiver = start_program(catchwire_path(), args, in_dir);
    program_guard receiver_guard(receiver);
    const int peer = accept_within(listener.fd);
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(send_all(peer, stream));
    ASSERT_TRUE(
        wait_until([&] { return file_length(dir + "/" + row.wait_file) >= row.wait_size; }));
    close_with_reset(peer);

    const program_result received = finish_program(receiver, 10000);
    EXPECT_EQ(received.exit_status, 1);
    EXPECT_NE(received.out.find("\nError: recv failed: Connection Reset\n"), std::string::npos)
        << received.out;
    EXPECT_EQ(received.out.find("Successfully received"), std::string::npos);
    for (std::size_t index = 0; index < row.kept.size(); ++index) {
        EXPECT_TRUE(read_file(dir + "/" + row.kept[index]) == stream.substr(index * mib, mib))
            << row.kept[index] << " is not the complete piece";
    }
    EXPECT_EQ(file_length(dir + "/" + row.deleted), -1) << "the incomplete file was kept";
}

INSTANTIATE_TEST_SUITE_P(
    Receiver, ResetConnection,
    testing::Values(
        reset_case{"OneFile", {"127.0.0.1", "copy.img"}, 100000, "copy.img", 65536, {}, "copy.img"},
        reset_case{"AfterTwoPieces",
                   {"-autosize=1", "-autoname", "127.0.0.1", "IMAGE"},
                   2 * mib + 10000,
                   "IMAGE.001",
                   mib,
                   {"IMAGE.000", "IMAGE.001"},
                   "IMAGE.002"}),
    [](const testing::TestParamInfo<reset_case>& info) { return std::string(info.param.name); });

// The sender's file loop stopping early reaches catchwire as a reset, never as the end of a
// complete stream: neither end reports success, and the copy, incomplete, is deleted.
struct early_stop_case {
    const char* name;
    std::vector<std::string> files;    // "head" (a mebibyte), "sparse" (4 GiB), "fifo", or absent
    std::string answers;               // pitchwire's standard input
    bool interrupt;                    // SIGINT once the copy holds a mebibyte
    std::vector<std::string> printed;  // by the sender, in this order
    std::vector<std::string> never_printed;  // by the sender
};

void PrintTo(const early_stop_case& row, std::ostream* out) {
    *out << row.name;
}

class EarlyStop : public testing::TestWithParam<early_stop_case> {};

TEST_P(EarlyStop, ReachesTheReceiverAsAReset) {
    const early_stop_case& row = GetParam();
    const std::string dir = make_temp_dir();
    write_file(dir + "/head", random_bytes(mib, 3));
    const std::string sparse = write_file(dir + "/sparse", random_bytes(mib, 5));
    ASSERT_EQ(truncate(sparse.c_str(), 4LL << 30), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    run_options options;
    options.working_directory = dir;
    options.stdin_text = row.answers;
    const std::string port = "-port=" + std::to_string(free_port());
    std::vector<std::string> args{port};
    args.insert(args.end(), row.files.begin(), row.files.end());
    running_program sender = start_program(pitchwire_path(), args, options);
    program_guard sender_guard(sender);
    ASSERT_TRUE(wait_for_output(sender, "Waiting for connection"));
    running_program receiver = start_program(catchwire_path(), {port, "127.0.0.1", dir + "/copy"});
    program_guard receiver_guard(receiver);
    if (row.interrupt) {
        ASSERT_TRUE(wait_until([&] { return file_length(dir + "/copy") >= 1 << 20; }, 20000));
        // A signal that lands just before a FIFO's open begins to wait is seen only with the
        // next one.
        EXPECT_TRUE(wait_until([&] {
            kill(sender.pid, SIGINT);
            return wait_for_output(sender, "Aborting connection", 200);
        }));
    }

    const program_result sent = finish_program(sender);
    const program_result received = finish_program(receiver);
    EXPECT_EQ(sent.exit_status, 1);
    std::size_t from = 0;
    for (const std::string& text : row.printed) {
        from = sent.out.find(text, from);
        ASSERT_NE(from, std::string::npos) << "missing " << text << " in " << sent.out;
    }
    for (const std::string& text : row.never_printed) {
        EXPECT_EQ(sent.out.find(text), std::string::npos) << text << " in " << sent.out;
    }
    EXPECT_EQ(received.exit_status, 1);
    EXPECT_NE(received.out.find("\nError: recv failed: Connection Reset\n"), std::string::npos)
        << received.out;
    EXPECT_EQ(received.out.find("Successfully received"), std::string::npos);
    EXPECT_EQ(file_length(dir + "/copy"), -1) << "the incomplete copy was kept";
}

INSTANTIATE_TEST_SUITE_P(
    Sender, EarlyStop,
    testing::Values(
        early_stop_case{"QuitAtTheMediaPrompt",
                        {"head", "missing"},
                        "Q\n",
                        false,
                        {"Error: Could not open missing\n", "Successfully sent 1,048,576 bytes"},
                        {"Aborting"}},
        early_stop_case{"InterruptMidFile",
                        {"sparse"},
                        "",
                        true,
                        {"\nNotice: send was aborted\n", "\nAborting connection ... \n"},
                        {"Could not send complete"}},
        early_stop_case{"InterruptWhileAFifoWaitsForItsWriter",
                        {"head", "fifo"},
                        "",
                        true,
                        {"Opening file: fifo\n", "\nAborting connection ... \n"},
                        {"Could not open", "Enter new filename"}}),
    [](const testing::TestParamInfo<early_stop_case>& info) {
        return std::string(info.param.name);
    });

}  // namespace
