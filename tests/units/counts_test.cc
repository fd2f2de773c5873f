// Counts and rates beyond 32 bits, and the port option.

#include <array>
#include <climits>
#include <memory>
#include <tuple>

#include <gtest/gtest.h>
#include "network.h"
#include "number_format.h"

namespace {

// The largest count fills the 27 bytes promised: the sanitizer sees a write past them.
TEST(Counts, GroupedCountsAndRatesRoundedDownAndCapped) {
    // clang-format off
    const std::pair<std::uint64_t, const char*> counts[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {12345, "12,345"}, {100001, "100,001"}, {1000000, "1,000,000"},
        {4294967296U, "4,294,967,296"}, {UINT64_MAX, "18,446,744,073,709,551,615"}};
    // Whole kilobytes per whole second; the kilobytes capped at 32 bits first.
    const std::tuple<std::uint64_t, std::int64_t, std::uint32_t> rates[] = {
        {1024, 1, 1}, {1023, 1, 0}, {5000000, 3, 1627}, {1048576, 0, 0}, {UINT64_MAX, INT64_MIN, 0},
        {1ULL << 52, 2, 2147483647}, {UINT64_MAX, 1, 4294967295U}, {4294967295ULL << 10, 5, 858993459}};
    // clang-format on
    for (const auto& [count, text] : counts) {
        const auto written = std::make_unique<char[]>(27);
        format_count(count, written.get());
        EXPECT_STREQ(written.get(), text);
    }
    for (const auto& [count, seconds, rate] : rates) {
        EXPECT_EQ(rate_over_seconds(count, seconds), rate) << count << " in " << seconds;
    }
}

// Any number of digits is taken modulo 65536; a refused value (-1) leaves the port alone.
TEST(Counts, PortValues) {
    // clang-format off
    const std::pair<const char*, int> rows[] = {
        {"65535", 65535}, {"65536", 0}, {"123456789012345678901234567890", 2770}, {"12a", -1}, {"8\xb0", -1}};
    // clang-format on
    for (const auto& [value, port] : rows) {
        tcp_port = 4321;
        int status = -1;
        status = parse_port_option(value);
        EXPECT_EQ(status, port < 0 ? 1 : 0) << value;
        EXPECT_EQ(tcp_port, port < 0 ? 4321 : port) << value;
    }
}

}  // namespace
