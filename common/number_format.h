#pragma once

#include <cstdint>
#include <ctime>

// Every caller's count text holds this many bytes; the longest count is 26 characters.
constexpr int count_text_size = 32;

// Writes count as grouped decimal text ("1,234,567") into text (at least 27 bytes). Returns 0.
int format_count(std::uint64_t count, char* text);

// Kilobytes (1024 bytes) per whole second since start_time; 0 when no second has passed.
std::uint32_t transfer_rate(std::uint64_t count, std::time_t start_time);

// The rate's arithmetic for a given elapsed time, so it can be checked without a clock.
// Returns 0 for an elapsed time of 0 or less.
std::uint32_t rate_over_seconds(std::uint64_t count, std::int64_t elapsed_seconds);
