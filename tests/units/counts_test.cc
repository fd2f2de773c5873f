// The checksum, counts and rates beyond 32 bits.

#include <gtest/gtest.h>

#include <numeric>
#include <tuple>
#include <vector>

#include "checksum.h"
#include "number_format.h"

// Against a plain byte sum, bytes above 127 included, at every length across the 32- and
// 16-byte loops and their tails. The block ends where the bytes do, so the sanitizer sees a
// read past them. All bytes 255 are the worst case for partial sums in narrow lanes.
TEST(Counts, ChecksumIsTheByteSumAtEveryLengthAndAlignment) {
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::int32_t length = 0; length <= 300; ++length) {
            std::vector<unsigned char> block(offset + static_cast<std::size_t>(length));
            std::iota(block.begin(), block.end(), static_cast<unsigned char>(200 + offset));
            EXPECT_EQ(checksum_bytes(block.data() + offset, length),
                      std::accumulate(block.end() - length, block.end(), 0U))
                << offset << " " << length;
        }
    }
    const std::vector<unsigned char> high(16843010, 255);  // 2^32 + 254 wraps to 254
    EXPECT_EQ(checksum_bytes(high.data(), 16843010), 0xfeU);
}

// Grouped counts, and whole kilobytes per whole second (none yet within the first second), the
// kilobytes capped at 32 bits first. The longest count fills the 27 bytes promised: the
// sanitizer sees a write past them.
TEST(Counts, GroupedAndPerSecond) {
    // clang-format off
    const std::tuple<std::uint64_t, std::int64_t, std::uint32_t, const char*> rows[] = {
        {999, 1, 0, "999"}, {UINT64_MAX, 0, 0, "18,446,744,073,709,551,615"},
        {5000000, 3, 1627, "5,000,000"}, {1ULL << 43, 2, 2147483647, "8,796,093,022,208"}};
    // clang-format on
    for (const auto& [count, seconds, rate, text] : rows) {
        std::vector<char> written(27);
        format_count(count, written.data());
        EXPECT_STREQ(written.data(), text);
        EXPECT_EQ(rate_over_seconds(count, seconds), rate) << text << " in " << seconds;
    }
}
