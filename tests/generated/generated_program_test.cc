#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "generated_support.h"
#include "program_runner.h"

namespace {

using namespace wiretest;

class generated_program : public ::testing::TestWithParam<const char*> {};

// The receiver reads a few megabytes of the pattern and hangs up. The sender reports the
// send error and totals whose checksum is the pattern's over the bytes it counted (bytes
// still in flight when the receiver left are counted but never read), and exits with 0.
// With "-sendsize=4099" blocks hold 1024 values and the 3 bytes left over are never
// generated: a gap would break the pattern.
TEST_P(generated_program, receiver_hanging_up_ends_the_stream_with_error_and_totals) {
    const int port = free_port();
    std::vector<std::string> args{"-port=" + std::to_string(port), "-"};
    if (GetParam()[0] != '\0') {
        args.emplace_back(GetParam());
    }
    running_program program = start_program(pitchwire_path(), args);
    program_guard guard(program);
    byte_tally tally{pattern_byte};
    {
        const fd_guard receiver(connect_within(port));
        ASSERT_GE(receiver.fd, 0);
        EXPECT_TRUE(read_into(receiver.fd, tally, 4U << 20U));
    }
    const program_result result = finish_program(program);

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_TRUE(std::regex_search(
        result.out, std::regex("\nError: send failed: [^\n]+\n\r {79}\r\nSuccessfully "
                               "sent [0-9,]+ bytes at [0-9]+ KBS\nTCPIP Data "
                               "Checksum: [0-9a-f]+\n$")))
        << result.out;
    const std::uint64_t sent = count_after(result.out, "Successfully sent ");
    EXPECT_GE(sent, tally.count);
    EXPECT_EQ(text_after(result.out, "Checksum: "), pattern_checksum(sent));
}

INSTANTIATE_TEST_SUITE_P(send_sizes, generated_program, ::testing::Values("", "-sendsize=4099"),
                         [](const auto& info) {
                             return info.param[0] == '\0' ? std::string("default")
                                                          : std::string("sendsize_4099");
                         });

// The sweep sends zero bytes; SIGTERM inside the first test ends it with the doubled notice,
// no further test, and the closing line of an abort.
TEST(generated_program_signal, sigterm_in_the_first_send_test_ends_the_sweep) {
    const int port = free_port();
    running_program program =
        start_program(pitchwire_path(), {"-port=" + std::to_string(port), "-", "-test"});
    program_guard guard(program);
    byte_tally tally{zero_byte};
    {
        const fd_guard receiver(connect_within(port));
        ASSERT_GE(receiver.fd, 0);
        EXPECT_TRUE(read_into(receiver.fd, tally, 1U << 20U));
        kill(program.pid, SIGTERM);
        EXPECT_TRUE(read_into(receiver.fd, tally));
    }
    const program_result result = finish_program(program);

    EXPECT_EQ(tally.first_mismatch, -1);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(std::regex_search(
        result.out,
        std::regex("Send test with buf size 512 bytes\n\r {79}\rNotice: send was "
                   "aborted\n\nNotice: send was aborted\n\r {79}\r\nSuccessfully sent " +
                   grouped(tally.count) +
                   " bytes at [0-9]+ KBS\n\nAborting connection \\.\\.\\. \n$")))
        << result.out;
    EXPECT_NE(result.err.find("Send: Total Bytes Sent: "), std::string::npos);
}

}  // namespace
