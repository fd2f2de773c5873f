// A file larger than 4 GiB goes out whole and passes the completeness check.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "sender_test_support.h"

namespace {

TEST(SenderLargeFile, MoreThanFourGibibytesAreSentCompletely) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string path = dir + "/huge";
    constexpr std::uint64_t size = (std::uint64_t{1} << 32) + 100;
    // Sparse: zeros everywhere except a tail past the 4 GiB mark, which the checksum sees.
    wiretest::write_file(path, "");
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size - 3)), 0);
    std::ofstream(path, std::ios::app | std::ios::binary) << "abc";

    auto run = sendertest::start_sender(dir, {"-readsize=32768", "huge"});
    const wiretest::program_guard guard(run.program);
    wiretest::byte_tally tally;
    {
        const wiretest::fd_guard client(wiretest::connect_within(run.port));
        ASSERT_NE(client.fd, -1);
        EXPECT_TRUE(wiretest::read_into(client.fd, tally));
    }
    const auto result = wiretest::finish_program(run.program, 60000);
    EXPECT_EQ(tally.count, size);
    EXPECT_EQ(tally.checksum, 0x126U);
    EXPECT_NE(result.out.find("Successfully sent 4,294,967,396 bytes at "), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("TCPIP Data Checksum: 126\n"), std::string::npos);
    EXPECT_EQ(result.out.find("Error"), std::string::npos);
    EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
