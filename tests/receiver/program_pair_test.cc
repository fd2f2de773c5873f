#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <regex>
#include <string>
#include <vector>

#include "program_runner.h"
#include "receiver_test_support.h"

namespace wiretest {
namespace {

// sha256sum run in dir with args.
program_result sha256sum(const std::string& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "sha256sum");
    run_options options;
    options.working_directory = dir;
    return run_program("/usr/bin/env", args, options);
}

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

// Both ends' SHA-256 is sha256sum's of the whole stream of several files, and the digests of
// the pieces let "sha256sum -c" find a damaged one: numbered pieces through their manifest,
// named ones through the lines printed as each is completed. An expected value the stream
// does not have fails the run and keeps every piece.
TEST(ProgramPair, DigestsAgreeWithSha256sumAndCheckEachPiece) {
    const std::string zeros(64, '0');
    const struct {
        bool numbered;
        bool expect_the_stream;
    } cases[] = {{true, true}, {false, false}};
    for (const auto& c : cases) {
        const std::string dir = make_temp_dir();
        const std::string source = make_temp_dir();
        const std::string port = "-port=" + std::to_string(free_port());
        std::vector<std::string> sender_args = {port, "-sha256"};
        std::string stream;
        for (const std::size_t size : {1048576 + 7, 0, 1048576 + 100}) {
            const std::string bytes = random_bytes(size, static_cast<unsigned>(stream.size()));
            sender_args.push_back(
                write_file(source + "/in" + std::to_string(sender_args.size()), bytes));
            stream += bytes;
        }
        write_file(source + "/all", stream);
        const std::string digest = sha256sum(source, {"all"}).out.substr(0, 64);
        std::string upper = digest;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);

        // The last value given holds, in either case.
        std::vector<std::string> receiver_args = {port, "-autosize=1"};
        if (c.expect_the_stream) {
            receiver_args.insert(receiver_args.end(), {"-sha256=" + zeros, "-sha256=" + upper});
        } else {
            receiver_args.insert(receiver_args.end(), {"-sha256", "-sha256=" + zeros});
        }
        run_options options;
        options.working_directory = dir;
        if (c.numbered) {
            receiver_args.insert(receiver_args.end(), {"-autoname", "127.0.0.1", "IMAGE"});
        } else {
            receiver_args.insert(receiver_args.end(), {"127.0.0.1", "ONE"});
            options.stdin_text = "TWO\nTHREE\n";
        }
        running_program sender = start_program(pitchwire_path(), sender_args);
        const program_guard guard(sender);
        EXPECT_TRUE(wait_for_output(sender, "Waiting for connection"));
        const program_result received = run_program(catchwire_path(), receiver_args, options);
        const program_result sent = finish_program(sender);
        SCOPED_TRACE(c.numbered ? "numbered" : "named");

        const std::string summary = "TCPIP Data Checksum: " + checksum_hex(stream) +
                                    "\nTCPIP Data SHA-256: " + digest + "\n";
        EXPECT_TRUE(sent.out.ends_with(summary)) << sent.out;
        EXPECT_EQ(sent.exit_status, 0);
        const std::string verdict = c.expect_the_stream
                                        ? "Notice: SHA-256 matches\n"
                                        : "Error: SHA-256 differs from the expected value\n";
        EXPECT_NE(received.out.find(summary + verdict), std::string::npos) << received.out;
        EXPECT_EQ(received.exit_status, c.expect_the_stream ? 0 : 1);

        const std::vector<std::string> pieces =
            c.numbered ? std::vector<std::string>{"IMAGE.000", "IMAGE.001", "IMAGE.002"}
                       : std::vector<std::string>{"ONE", "TWO", "THREE"};
        std::string joined;
        for (const std::string& piece : pieces) {
            joined += read_file(dir + "/" + piece);
        }
        EXPECT_TRUE(joined == stream);
        std::string manifest = "IMAGE.sha256";
        if (!c.numbered) {
            // Named pieces may lie on different media: their lines are printed instead.
            manifest = "printed.sha256";
            const std::regex line("[0-9a-f]{64}  [A-Z]+\n");
            const std::string out = without_status_lines(received.out);
            std::string lines;
            for (std::sregex_iterator at(out.begin(), out.end(), line), end; at != end; ++at) {
                lines += at->str();
            }
            write_file(dir + "/" + manifest, lines);
        }
        const program_result checked = sha256sum(dir, {"-c", manifest});
        EXPECT_EQ(checked.out, pieces[0] + ": OK\n" + pieces[1] + ": OK\n" + pieces[2] + ": OK\n");
        EXPECT_EQ(checked.exit_status, 0);
        write_file(dir + "/" + pieces[1], "damaged" + read_file(dir + "/" + pieces[1]).substr(7));
        EXPECT_EQ(sha256sum(dir, {"-c", manifest}).exit_status, 1);
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
