// pitchwire's batched file reads and sends seen from outside: a file that grows or shrinks
// while it is sent, and a receiver that goes away in the middle of a batch. The stream, the
// counts and the checksum must agree to the byte.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "program_runner.h"
#include "sender_test_support.h"

namespace {

using wiretest::checksum_hex;

// Far more than the loopback buffers hold, so the sender is still reading when the file
// changes.
constexpr std::size_t file_size = 16U << 20U;

std::string grouped(std::size_t count) {
    std::string digits = std::to_string(count);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

struct change_outcome {
    std::string stream;
    wiretest::program_result result;
};

// Sends dir/data with args, lets change run once the first bytes have arrived (the sender is
// then blocked on the full connection), and takes the rest of the stream.
template <typename change_type>
change_outcome send_changing_file(const std::string& dir, std::vector<std::string> args,
                                  change_type change) {
    args.emplace_back("data");
    auto run = sendertest::start_sender(dir, args);
    change_outcome outcome;
    if (run.program.pid == -1) {
        ADD_FAILURE() << "the sender never listened";
        return outcome;
    }
    const int client = sendertest::connect_client(run.port);
    EXPECT_NE(client, -1);
    if (client != -1) {
        outcome.stream = sendertest::read_some(client, 1000);
        change();
        outcome.stream += sendertest::read_to_end(client);
    }
    outcome.result = wiretest::finish_program(run.program);
    return outcome;
}

std::string incomplete_report(std::size_t sent, std::size_t size) {
    return "\nError: Could not send complete contents of file\nFile:     data\nOffset:   " +
           grouped(sent) + "\nFileSize: " + grouped(size) + "\n" +
           sendertest::totals_text(grouped(sent), "C");
}

// What the run printed after its progress lines, with the checksum replaced by "C" once it
// has been checked against the stream.
std::string ending(const change_outcome& outcome) {
    std::string out = sendertest::normalized(outcome.result.out);
    const std::string checksum_line = "TCPIP Data Checksum: " + checksum_hex(outcome.stream);
    EXPECT_NE(out.find(checksum_line + "\n"), std::string::npos) << out;
    const std::size_t report = out.find("\nError: Could not send");
    if (report == std::string::npos) {
        return out;
    }
    return std::regex_replace(out.substr(report), std::regex("Checksum: [0-9a-f]+"), "Checksum: C");
}

TEST(changing_file, bytes_added_while_sending_go_out_and_are_reported) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string original = wiretest::random_bytes(file_size, 3);
    const std::string added = wiretest::random_bytes(5555, 4);
    wiretest::write_file(dir + "/data", original);
    const auto outcome = send_changing_file(
        dir, {}, [&] { std::ofstream(dir + "/data", std::ios::app | std::ios::binary) << added; });
    EXPECT_TRUE(outcome.stream == original + added) << outcome.stream.size();
    EXPECT_EQ(ending(outcome), incomplete_report(file_size + added.size(), file_size));
    EXPECT_EQ(outcome.result.exit_status, 1);
}

// Uneven blocks: the cut falls inside a block, which then goes out short.
TEST(changing_file, file_cut_short_while_sending_ends_at_its_new_end) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string original = wiretest::random_bytes(file_size, 5);
    const std::size_t cut_size = 9000001;
    wiretest::write_file(dir + "/data", original);
    const auto outcome = send_changing_file(dir, {"-readsize=5000"}, [&] {
        EXPECT_EQ(truncate((dir + "/data").c_str(), static_cast<off_t>(cut_size)), 0);
    });
    EXPECT_TRUE(outcome.stream == original.substr(0, cut_size)) << outcome.stream.size();
    EXPECT_EQ(ending(outcome), incomplete_report(cut_size, file_size));
    EXPECT_EQ(outcome.result.exit_status, 1);
}

// The receiver resets the connection in the middle of a batch: only whole blocks count, and
// the checksum is that of exactly the counted bytes.
TEST(changing_file, receiver_leaving_mid_batch_counts_whole_blocks_only) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string original = wiretest::random_bytes(file_size, 6);
    wiretest::write_file(dir + "/data", original);
    auto run = sendertest::start_sender(dir, {"-readsize=5000", "data"});
    ASSERT_NE(run.program.pid, -1);
    const int client = sendertest::connect_client(run.port);
    ASSERT_NE(client, -1);
    const std::string received = sendertest::read_some(client, 100000);
    EXPECT_TRUE(received == original.substr(0, received.size()));
    close(client);
    const auto result = wiretest::finish_program(run.program);

    std::smatch totals;
    const std::string out = sendertest::normalized(result.out);
    ASSERT_TRUE(std::regex_search(
        out, totals,
        std::regex("\nSuccessfully sent ([0-9,]+) bytes at R KBS\nTCPIP Data Checksum: (.*)\n")))
        << out;
    const std::size_t counted =
        std::stoul(std::regex_replace(totals[1].str(), std::regex(","), ""));
    EXPECT_EQ(counted % 5000, 0U) << counted;
    EXPECT_LT(received.size(), counted + 5000);
    EXPECT_EQ(totals[2].str(), checksum_hex(original.substr(0, counted)));
    EXPECT_NE(out.find("\nError: send failed: Connection Reset\n"), std::string::npos) << out;
    EXPECT_EQ(result.exit_status, 1);
}

}  // namespace
