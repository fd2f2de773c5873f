#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "receiver_test_support.h"

namespace wiretest {
namespace {

TEST(ProgramPair, SentFilesArriveAsOneIdenticalStream) {
    const std::vector<std::vector<std::size_t>> file_sets = {
        {0}, {1}, {32767}, {32768}, {32769}, {5 * 1048576 + 3}, {70000, 0, 1, 32768, 100}};
    for (const std::vector<std::size_t>& sizes : file_sets) {
        for (const std::string mode : {"file", "-"}) {
            const std::string dir = make_temp_dir();
            const std::string port = "-port=" + std::to_string(free_port());
            std::vector<std::string> sender_args = {port};
            std::string stream;
            for (std::size_t i = 0; i < sizes.size(); ++i) {
                const std::string bytes = random_bytes(sizes[i], static_cast<unsigned>(i + 7));
                sender_args.push_back(write_file(dir + "/in" + std::to_string(i), bytes));
                stream += bytes;
            }
            running_program sender = start_program(pitchwire_path(), sender_args);
            EXPECT_TRUE(wait_for_output(sender, "Waiting for connection"));
            const program_result received = run_program(
                catchwire_path(), {port, "127.0.0.1", mode == "-" ? "-" : dir + "/out"});
            const program_result sent = finish_program(sender);
            const std::string context = mode + " " + std::to_string(stream.size());
            EXPECT_EQ(received.exit_status, 0) << context;
            EXPECT_EQ(sent.exit_status, 0) << context;
            EXPECT_EQ(read_file(dir + "/out"), mode == "-" ? "" : stream) << context;
            // The rates may differ by a second's rounding; the counts may not.
            EXPECT_TRUE(
                line_after(received.out, "Successfully received ").starts_with(counted(stream)))
                << context;
            EXPECT_TRUE(line_after(sent.out, "Successfully sent ").starts_with(counted(stream)));
            EXPECT_EQ(line_after(received.out, "TCPIP Data Checksum: "), checksum_hex(stream));
            EXPECT_EQ(line_after(sent.out, "TCPIP Data Checksum: "), checksum_hex(stream));
        }
    }
}

}  // namespace
}  // namespace wiretest
