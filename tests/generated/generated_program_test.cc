#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "program_runner.h"
#include "sender_client.h"

namespace {

using streamcheck::hex_text;
using streamcheck::stream_tally;

class generated_program : public ::testing::TestWithParam<const char*> {};

// The receiver reads a few megabytes of the pattern and hangs up. The sender reports the
// send error and totals whose checksum is the pattern's over the bytes it counted (bytes
// still in flight when the receiver left are counted but never read), and exits with 0.
TEST_P(generated_program, receiver_hanging_up_ends_the_stream_with_error_and_totals) {
    const int port = wiretest::free_port();
    std::vector<std::string> args{"-port=" + std::to_string(port), "-"};
    if (GetParam()[0] != '\0') {
        args.emplace_back(GetParam());
    }
    auto program = wiretest::start_program(wiretest::pitchwire_path(), args);
    const int fd = connect_to_sender(port);
    ASSERT_GE(fd, 0);
    stream_tally tally;
    EXPECT_TRUE(read_stream(fd, tally, 4U << 20U));
    close(fd);
    const auto result = wiretest::finish_program(program);

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_EQ(result.exit_status, 0);
    std::smatch totals;
    ASSERT_TRUE(std::regex_search(
        result.out, totals,
        std::regex("\nError: send failed: [^\n]+\n\r {79}\r\nSuccessfully sent ([0-9,]+) bytes "
                   "at [0-9]+ KBS\nTCPIP Data Checksum: ([0-9a-f]+)\n$")))
        << result.out;
    std::string digits = totals[1].str();
    std::erase(digits, ',');
    const std::uint64_t sent = std::stoull(digits);
    EXPECT_GE(sent, tally.count);
    EXPECT_EQ(totals[2].str(), hex_text(streamcheck::pattern_checksum(sent)));
}

INSTANTIATE_TEST_SUITE_P(send_sizes, generated_program, ::testing::Values("", "-sendsize=4099"),
                         [](const auto& info) {
                             return info.param[0] == '\0' ? std::string("default")
                                                          : std::string("sendsize_4099");
                         });

// SIGTERM ends generated mode as an abort does; the receiver, reading on to the end, got
// exactly what the totals report.
TEST(generated_program_signal, sigterm_prints_notice_totals_and_aborting_line) {
    const int port = wiretest::free_port();
    auto program =
        wiretest::start_program(wiretest::pitchwire_path(), {"-port=" + std::to_string(port), "-"});
    const int fd = connect_to_sender(port);
    ASSERT_GE(fd, 0);
    stream_tally tally;
    EXPECT_TRUE(read_stream(fd, tally, 1U << 20U));
    kill(program.pid, SIGTERM);
    EXPECT_TRUE(read_stream(fd, tally));
    close(fd);
    const auto result = wiretest::finish_program(program);

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_EQ(result.exit_status, 1);
    const std::regex ending(
        std::string("Notice: send was aborted\n\r {79}\r\nSuccessfully sent ") +
        streamcheck::count_text(tally.count) + " bytes at [0-9]+ KBS\nTCPIP Data Checksum: " +
        hex_text(tally.checksum) + "\n" + "\nAborting connection \\.\\.\\. \n$");
    EXPECT_TRUE(std::regex_search(result.out, ending)) << result.out;
}

// The sweep sends zero bytes; SIGTERM inside the first test ends it with the doubled notice
// and no further test.
TEST(generated_program_signal, sigterm_in_the_first_send_test_ends_the_sweep) {
    const int port = wiretest::free_port();
    auto program = wiretest::start_program(wiretest::pitchwire_path(),
                                           {"-port=" + std::to_string(port), "-", "-test"});
    const int fd = connect_to_sender(port);
    ASSERT_GE(fd, 0);
    stream_tally tally;
    tally.expect_zeros = true;
    EXPECT_TRUE(read_stream(fd, tally, 1U << 20U));
    kill(program.pid, SIGTERM);
    EXPECT_TRUE(read_stream(fd, tally));
    close(fd);
    const auto result = wiretest::finish_program(program);

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out.find("buf size 1024"), std::string::npos);
    const std::regex ending(
        "Send test with buf size 512 bytes\n\r {79}\rNotice: send was aborted\n\n"
        "Notice: send was aborted\n\r {79}\r\nSuccessfully sent " +
        streamcheck::count_text(tally.count) +
        " bytes at [0-9]+ KBS\n\nAborting connection \\.\\.\\. \n$");
    EXPECT_TRUE(std::regex_search(result.out, ending)) << result.out;
    EXPECT_NE(result.err.find("Send: Total Bytes Sent: "), std::string::npos);
}

}  // namespace
