#include "checksum.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

namespace {

// Against a plain byte sum, bytes above 127 included, at every length across the 32- and
// 16-byte loops and their tails. The block ends where the bytes do, so the sanitizer sees a
// read past them.
TEST(Checksum, EqualsTheByteSumAtEveryLengthAndAlignment) {
    std::mt19937 random(7);
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t length = 0; length <= 300; ++length) {
            std::vector<unsigned char> block(offset + length);
            for (auto& byte : block) {
                byte = static_cast<unsigned char>(random());
            }
            EXPECT_EQ(checksum_bytes(block.data() + offset, static_cast<std::int32_t>(length)),
                      std::accumulate(block.begin() + static_cast<long>(offset), block.end(), 0U))
                << "offset " << offset << " length " << length;
        }
    }
    // All bytes 255, the worst case for partial sums in narrow lanes: 2^32 + 254 wraps to 254.
    const std::vector<unsigned char> high(16843010, 255);
    EXPECT_EQ(checksum_bytes(high.data(), 16843010), 0xfeU);
    EXPECT_EQ(checksum_bytes(high.data() + 1, 16843009), 0xffffffffU);
}

}  // namespace
