// A file larger than 4 GiB goes out whole and passes the completeness check.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "program_runner.h"
#include "sender_test_support.h"

namespace {

TEST(SenderLargeFile, MoreThanFourGibibytesAreSentCompletely) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string path = dir + "/huge";
    constexpr std::uint64_t size = (std::uint64_t{1} << 32) + 100;
    // Sparse: zeros everywhere except a tail past the 4 GiB mark, which the checksum sees.
    wiretest::write_file(path, "");
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size - 3)), 0);
    {
        FILE* file = std::fopen(path.c_str(), "ab");
        ASSERT_NE(file, nullptr);
        std::fputs("abc", file);
        std::fclose(file);
    }

    auto run = sendertest::start_sender(dir, {"-readsize=32768", "huge"});
    ASSERT_NE(run.program.pid, -1);
    const int client = sendertest::connect_client(run.port);
    ASSERT_NE(client, -1);
    std::uint64_t received = 0;
    std::uint32_t sum = 0;
    std::array<unsigned char, 1 << 16> chunk{};
    for (;;) {
        pollfd watched{client, POLLIN, 0};
        if (poll(&watched, 1, 30000) <= 0) {
            break;
        }
        const ssize_t got = recv(client, chunk.data(), chunk.size(), 0);
        if (got <= 0) {
            break;
        }
        for (ssize_t i = 0; i < got; ++i) {
            sum += chunk[static_cast<std::size_t>(i)];
        }
        received += static_cast<std::uint64_t>(got);
    }
    close(client);
    const auto result = wiretest::finish_program(run.program, 60000);
    EXPECT_EQ(received, size);
    EXPECT_EQ(sum, 294U);
    EXPECT_NE(result.out.find("Successfully sent 4,294,967,396 bytes at "), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("TCPIP Data Checksum: 126\n"), std::string::npos);
    EXPECT_EQ(result.out.find("Error"), std::string::npos);
    EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
