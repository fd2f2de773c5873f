#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "program_runner.h"

namespace wiretest {
namespace {

TEST(ProgramPair, SentFilesArriveAsOneIdenticalStream) {
    // Sizes around the receiver's 32768-byte blocks; the last sets are several files in one
    // stream, the very last one counted and summed by "-" without a file.
    const std::vector<std::vector<std::size_t>> file_sets = {{0},
                                                             {1},
                                                             {32767},
                                                             {32768},
                                                             {32769},
                                                             {5 * 1048576 + 3},
                                                             {70000, 0, 1, 32768, 100},
                                                             {70000, 0, 1, 32768, 100}};
    for (std::size_t set = 0; set < file_sets.size(); ++set) {
        const bool discard = set + 1 == file_sets.size();
        const std::string dir = make_temp_dir();
        const std::string port = "-port=" + std::to_string(free_port());
        std::vector<std::string> sender_args = {port};
        std::string stream;
        for (const std::size_t size : file_sets[set]) {
            const std::string bytes = random_bytes(size, static_cast<unsigned>(stream.size()));
            sender_args.push_back(
                write_file(dir + "/in" + std::to_string(sender_args.size()), bytes));
            stream += bytes;
        }
        running_program sender = start_program(pitchwire_path(), sender_args);
        const program_guard guard(sender);
        EXPECT_TRUE(wait_for_output(sender, "Waiting for connection"));
        const program_result received =
            run_program(catchwire_path(), {port, "127.0.0.1", discard ? "-" : dir + "/out"});
        const program_result sent = finish_program(sender);
        SCOPED_TRACE(std::to_string(set) + ": " + std::to_string(stream.size()) + " bytes");
        EXPECT_EQ(received.exit_status, 0);
        EXPECT_EQ(sent.exit_status, 0);
        EXPECT_EQ(file_length(dir + "/out"), discard ? -1 : static_cast<long long>(stream.size()));
        EXPECT_TRUE(discard || read_file(dir + "/out") == stream);
        EXPECT_EQ(count_after(received.out, "Successfully received "), stream.size());
        EXPECT_EQ(count_after(sent.out, "Successfully sent "), stream.size());
        EXPECT_EQ(text_after(received.out, "TCPIP Data Checksum: "), checksum_hex(stream));
        EXPECT_EQ(text_after(sent.out, "TCPIP Data Checksum: "), checksum_hex(stream));
    }
}

// Operators slower than the peer limit, four times over, break nothing: the sender at its
// media prompt leaves the receiver waiting for data from a peer whose kernel still answers;
// the receiver at its piece prompt keeps its window closed while the sender, blocked in a
// send all the while, waits. The pieces come out whole.
TEST(ProgramPair, OperatorsSlowerThanThePeerLimitAtTheirPrompts) {
    constexpr std::size_t piece = 8 << 20;
    const std::string dir = make_temp_dir();
    const std::string stream = random_bytes(3 * piece, 23);
    run_options options;
    options.working_directory = dir;
    options.stdin_open = true;
    options.environment = {"WIRE_TEST_PEER_TIMEOUT=3"};
    const std::string port = "-port=" + std::to_string(free_port());
    running_program sender = start_program(
        pitchwire_path(), {port, "-pause", write_file(dir + "/source", stream)}, options);
    const program_guard sender_guard(sender);
    ASSERT_TRUE(wait_for_output(sender, "Waiting for connection"));
    running_program receiver =
        start_program(catchwire_path(), {port, "-autosize=8", "127.0.0.1", "ONE"}, options);
    const program_guard receiver_guard(receiver);
    ASSERT_TRUE(wait_for_output(sender, "\"Q\" to quit: "));
    EXPECT_FALSE(wait_for_output(receiver, "Error", 12000)) << receiver.out;
    write_stdin(sender, "\n");
    ASSERT_TRUE(wait_for_output(receiver, "Enter new filename [Q]: "));
    // The stream is too long for the buffers between the two: the sender cannot finish.
    EXPECT_FALSE(wait_for_output(sender, "Successfully sent", 12000)) << sender.out;
    write_stdin(receiver, "TWO\n");
    EXPECT_TRUE(wait_for_output(receiver, "end of file TWO\nEnter new filename [Q]: "));
    write_stdin(receiver, "THREE\n");
    const program_result sent = finish_program(sender);
    const program_result received = finish_program(receiver);
    EXPECT_EQ(sent.exit_status, 0) << sent.out;
    EXPECT_EQ(received.exit_status, 0) << received.out;
    EXPECT_TRUE(read_file(dir + "/ONE") + read_file(dir + "/TWO") + read_file(dir + "/THREE") ==
                stream)
        << "the pieces are not the stream";
}

}  // namespace
}  // namespace wiretest
