#include <gtest/gtest.h>

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

}  // namespace
}  // namespace wiretest
