#include "checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

namespace {

// Against a plain byte sum, bytes above 127 included (a signed char would count 255 as -1).
TEST(Checksum, EqualsTheByteSumAtEveryLengthAndAlignment) {
    std::mt19937 random(7);
    std::vector<unsigned char> source(300);
    std::generate(source.begin(), source.end(),
                  [&] { return static_cast<unsigned char>(random()); });
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t length = 0; length <= source.size(); ++length) {
            // Zeros, then the bytes up to where the heap block ends, so that the sanitizer
            // sees a read past them.
            std::vector<unsigned char> block(offset + length);
            std::copy_n(source.begin(), length, block.begin() + static_cast<long>(offset));
            EXPECT_EQ(checksum_bytes(block.data() + offset, static_cast<std::int32_t>(length)),
                      std::accumulate(block.begin(), block.end(), 0U))
                << "offset " << offset << " length " << length;
        }
    }
    // All bytes 255, the worst case for partial sums in narrow lanes: 2^32 + 254 wraps to 254.
    const std::vector<unsigned char> high(16843010, 255);
    EXPECT_EQ(checksum_bytes(high.data(), 16843010), 0xfeU);
    EXPECT_EQ(checksum_bytes(high.data() + 1, 16843009), 0xffffffffU);
}

}  // namespace
