#pragma once

// Checks what arrives from the sender's generated modes: the counting pattern (value k as
// little-endian 32-bit at bytes 4k..4k+3) or the zero bytes of the send test.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "number_format.h"

namespace streamcheck {

// The byte at stream offset of the counting pattern.
inline unsigned char pattern_byte(std::uint64_t offset) {
    const auto value = static_cast<std::uint32_t>(offset / 4);
    return static_cast<unsigned char>(value >> (8 * (offset % 4)));
}

// The checksum the sender should print after sending the first length bytes of the pattern.
inline std::uint32_t pattern_checksum(std::uint64_t length) {
    std::uint32_t sum = 0;
    for (std::uint64_t offset = 0; offset < length; ++offset) {
        sum += pattern_byte(offset);
    }
    return sum;
}

// Follows one received stream chunk by chunk: its length, its byte sum, and the offset of
// the first byte that broke the expected content.
struct stream_tally {
    bool expect_zeros = false;  // the send test's stream instead of the counting pattern
    std::uint64_t count = 0;
    std::uint32_t checksum = 0;
    std::int64_t first_mismatch = -1;

    void take(const unsigned char* bytes, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned char expected = expect_zeros ? 0 : pattern_byte(count);
            if (bytes[i] != expected && first_mismatch < 0) {
                first_mismatch = static_cast<std::int64_t>(count);
            }
            checksum += bytes[i];
            ++count;
        }
    }
};

// The text the programs print for count: "1,234,567".
inline std::string count_text(std::uint64_t count) {
    std::array<char, count_text_size> text{};
    format_count(count, text.data());
    return text.data();
}

// "\r", 79 blanks, "\r": what clearing the status line writes.
inline std::string blank_status_line() {
    return "\r" + std::string(79, ' ') + "\r";
}

inline std::string hex_text(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

}  // namespace streamcheck
