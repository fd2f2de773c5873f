#include "number_format.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>

// Writes the grouped decimal text of count into text (27 bytes are enough) and returns 0.
int format_count(std::uint64_t count, char* text) {
    std::array<char, count_text_size> digits{};
    const int digit_count = std::snprintf(digits.data(), digits.size(), "%" PRIu64, count);

    // Built backwards from the least significant digit, so a "," lands before every
    // group of three counted from the right.
    std::array<char, count_text_size> work{};
    std::size_t length = 0;
    for (int index = digit_count - 1; index >= 0; --index) {
        work[length++] = digits[static_cast<std::size_t>(index)];
        if (index > 0 && length % 4 == 3) {
            work[length++] = ',';
        }
    }
    std::reverse(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(length));
    work[length] = '\0';
    std::memcpy(text, work.data(), length + 1);
    return 0;
}

// Kilobytes per second since start_time by the clock of time(); 0 within the first second
// or when the clock has been set back.
std::uint32_t transfer_rate(std::uint64_t count, std::time_t start_time) {
    const std::time_t now = std::time(nullptr);
    return rate_over_seconds(count, static_cast<std::int64_t>(now - start_time));
}

// Kilobytes per second over elapsed_seconds; 0 for no elapsed time and for fewer than
// 1024 bytes. A kilobyte count beyond 32 bits is capped before the division.
std::uint32_t rate_over_seconds(std::uint64_t count, std::int64_t elapsed_seconds) {
    if (elapsed_seconds <= 0 || count == 0) {
        return 0;
    }
    constexpr std::uint64_t kilobyte_cap = 4294967295U;
    std::uint64_t kilobytes = count >> 10;
    if (kilobytes > kilobyte_cap) {
        kilobytes = kilobyte_cap;
    }
    if (kilobytes == 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(kilobytes / static_cast<std::uint64_t>(elapsed_seconds));
}
