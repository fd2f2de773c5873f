// Counts, rates and sizes beyond 32 bits, and the port option.

#include <fcntl.h>
#include <sys/mman.h>

#include <climits>
#include <memory>
#include <tuple>
#include <utility>

#include "file_size.h"
#include "network.h"
#include "number_format.h"
#include "unit_support.h"

namespace {

// The largest count fills exactly the 27 bytes promised: the sanitizer sees a write past them.
TEST(FormatCount, GroupsOfThreeAtEveryPhaseUpTo64Bits) {
    // clang-format off
    const std::pair<std::uint64_t, const char*> rows[] = {
        {0, "0"}, {12, "12"}, {999, "999"}, {1000, "1,000"}, {12345, "12,345"}, {100001, "100,001"},
        {1000000, "1,000,000"}, {4294967296U, "4,294,967,296"}, {UINT64_MAX, "18,446,744,073,709,551,615"}};
    // clang-format on
    for (const auto& [count, text] : rows) {
        const auto written = std::make_unique<char[]>(27);
        format_count(count, written.get());
        EXPECT_STREQ(written.get(), text);
    }
}

// Whole kilobytes per whole second, rounded down; the kilobytes capped at 32 bits first.
TEST(TransferRate, RoundsDownAndCapsAt32Bits) {
    // clang-format off
    const std::tuple<std::uint64_t, std::int64_t, std::uint32_t> rows[] = {
        {1024, 1, 1}, {1023, 1, 0}, {5000000, 3, 1627}, {1048576, 0, 0}, {UINT64_MAX, INT64_MIN, 0},
        {1ULL << 52, 2, 2147483647}, {UINT64_MAX, 1, 4294967295U}, {4294967295ULL << 10, 5, 858993459}};
    // clang-format on
    for (const auto& [count, seconds, rate] : rows) {
        EXPECT_EQ(rate_over_seconds(count, seconds), rate) << count << " in " << seconds;
    }
    // A clock set back during the run.
    EXPECT_EQ(transfer_rate(1ULL << 30, std::time(nullptr) + 3600), 0U);
}

TEST(OpenFileSize, SparseFiveGibibytesAPipeAndAClosedDescriptor) {
    const int file = memfd_create("sparse", 0);
    ASSERT_EQ(ftruncate(file, 5LL << 30), 0);
    std::int64_t size = 0;
    EXPECT_EQ(open_file_size(&size, file, "sparse"), 0);
    EXPECT_EQ(size, 5LL << 30);
    close(file);
    const units::drained_pair stream;
    EXPECT_EQ(open_file_size(&size, stream.ends[1], "stream"), 0);
    EXPECT_EQ(size, unknown_file_size);
    // Far above the descriptors in use, so that the output capture cannot reopen it.
    const int closed = fcntl(STDERR_FILENO, F_DUPFD, 900);
    close(closed);
    size = 12345;
    EXPECT_EQ(units::printed([&] { EXPECT_EQ(open_file_size(&size, closed, "image.bin"), 1); }),
              "Error: Could not stat file image.bin\n"
              "Error: stat returned error: Bad file descriptor\n");
    EXPECT_EQ(size, 12345);
}

// Any number of digits is taken modulo 65536; a refused value (port -1) leaves the port alone.
TEST(ParsePortOption, AcceptedAndRefusedValues) {
    // clang-format off
    const std::pair<const char*, int> rows[] = {
        {"0", 0}, {"1", 1}, {"65535", 65535}, {"65536", 0}, {"123456789012345678901234567890", 2770},
        {"", -1}, {"12a", -1}, {"-1", -1}, {"8\xb0", -1}};
    // clang-format on
    for (const auto& [value, port] : rows) {
        tcp_port = 4321;
        int status = -1;
        const std::string text =
            units::printed([&, option = value] { status = parse_port_option(option); });
        EXPECT_EQ(text, port >= 0        ? ""
                        : *value == '\0' ? "Error: Missing port number\n"
                                         : "Error: Port numbers must be decimal characters\n")
            << value;
        EXPECT_EQ(status, port < 0 ? 1 : 0) << value;
        EXPECT_EQ(tcp_port, port < 0 ? 4321 : port) << value;
    }
}

}  // namespace
