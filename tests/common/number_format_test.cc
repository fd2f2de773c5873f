#include "number_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>

namespace {

std::string formatted(std::uint64_t count) {
    std::array<char, count_text_size> text{};
    EXPECT_EQ(format_count(count, text.data()), 0);
    return text.data();
}

TEST(FormatCount, GroupsEveryLengthUpTo26) {
    // Each power of ten gives a new text length, 1 to 26 characters.
    std::istringstream powers(
        "1 10 100 1,000 10,000 100,000 1,000,000 10,000,000 100,000,000 1,000,000,000 "
        "10,000,000,000 100,000,000,000 1,000,000,000,000 10,000,000,000,000 100,000,000,000,000 "
        "1,000,000,000,000,000 10,000,000,000,000,000 100,000,000,000,000,000 "
        "1,000,000,000,000,000,000 10,000,000,000,000,000,000");
    std::uint64_t power = 1;
    for (std::string expected; powers >> expected; power *= 10) {
        EXPECT_EQ(formatted(power), expected);
    }
    EXPECT_EQ(formatted(0), "0");
    EXPECT_EQ(formatted(999), "999");
    EXPECT_EQ(formatted(4294967296U), "4,294,967,296");
}

TEST(FormatCount, LargestCountFillsExactly27Bytes) {
    // A heap block of exactly the promised size: the sanitizer sees any write past it.
    auto text = std::make_unique<char[]>(27);
    std::fill_n(text.get(), 27, 'x');
    format_count(UINT64_MAX, text.get());
    EXPECT_STREQ(text.get(), "18,446,744,073,709,551,615");
    format_count(5, text.get());
    EXPECT_STREQ(text.get(), "5");
}

TEST(TransferRate, RoundsDownAndIsZeroWithoutAKilobyteOrASecond) {
    EXPECT_EQ(rate_over_seconds(1024, 1), 1U);
    EXPECT_EQ(rate_over_seconds(5000000, 3), 1627U);
    EXPECT_EQ(rate_over_seconds(1023, 1), 0U);
    EXPECT_EQ(rate_over_seconds(1048576, 0), 0U);
    EXPECT_EQ(rate_over_seconds(1048576, -1), 0U);
    EXPECT_EQ(rate_over_seconds(UINT64_MAX, INT64_MIN), 0U);
    // A clock set back during the run.
    EXPECT_EQ(transfer_rate(std::uint64_t{1} << 30, std::time(nullptr) + 3600), 0U);
}

TEST(TransferRate, KilobytesAbove32BitsAreCapped) {
    const std::uint64_t kilobytes_2_pow_42 = std::uint64_t{1} << 52;
    EXPECT_EQ(rate_over_seconds(kilobytes_2_pow_42, 2), 2147483647U);
    EXPECT_EQ(rate_over_seconds(UINT64_MAX, 1), 4294967295U);
    EXPECT_EQ(rate_over_seconds(std::uint64_t{4294967295U} << 10, 5), 858993459U);
}

}  // namespace
