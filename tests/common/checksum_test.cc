#include "checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

std::uint32_t one_byte_sum(const unsigned char* bytes, std::size_t count) {
    std::uint32_t sum = 0;
    for (std::size_t index = 0; index < count; ++index) {
        sum += bytes[index];
    }
    return sum;
}

std::vector<unsigned char> random_buffer(std::size_t size) {
    std::mt19937 generator(7);
    std::vector<unsigned char> buffer(size);
    std::generate(buffer.begin(), buffer.end(),
                  [&] { return static_cast<unsigned char>(generator() & 0xffU); });
    return buffer;
}

TEST(Checksum, WorkedExamplesAndEmptyLengths) {
    // Bytes are added unsigned: a signed char would make 255 count as -1.
    const unsigned char bytes[] = {255, 255, 255};
    EXPECT_EQ(checksum_bytes(bytes, 3), 0x2fdU);
    EXPECT_EQ(checksum_bytes(bytes, 0), 0U);
    EXPECT_EQ(checksum_bytes(bytes, -5), 0U);
}

TEST(Checksum, SumWrapsModulo2Pow32) {
    const std::vector<unsigned char> all_high(16843010, 255);
    EXPECT_EQ(checksum_bytes(all_high.data(), 16843010), 0xfeU);
    EXPECT_EQ(checksum_bytes(all_high.data(), 16843009), 0xffffffffU);
}

TEST(Checksum, EqualsOneByteSumAtEveryLengthAndAlignment) {
    const std::vector<unsigned char> source = random_buffer(100);
    for (std::size_t alignment = 0; alignment < 16; ++alignment) {
        for (std::size_t length = 0; length <= 100; ++length) {
            // The bytes end where the heap block ends, so the sanitizer catches a read past
            // them; malloc's 16-byte alignment makes the start offset exact.
            std::vector<unsigned char> block(alignment + length);
            std::copy_n(source.begin(), length, block.begin() + static_cast<long>(alignment));
            const unsigned char* start = block.data() + alignment;
            EXPECT_EQ(checksum_bytes(start, static_cast<std::int32_t>(length)),
                      one_byte_sum(start, length))
                << "alignment " << alignment << " length " << length;
        }
    }
    const std::vector<unsigned char> large = random_buffer((1U << 20) + 16);
    for (const std::size_t length : {32767U, 32768U, (1U << 20) + 7U}) {
        EXPECT_EQ(checksum_bytes(large.data() + 3, static_cast<std::int32_t>(length)),
                  one_byte_sum(large.data() + 3, length))
            << "length " << length;
    }
}

}  // namespace
