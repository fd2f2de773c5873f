#pragma once

#include <cstdint>

// The 32-bit wrapping sum of the first length bytes, each taken as 0..255.
// A length of 0 or less reads nothing and returns 0.
std::uint32_t checksum_bytes(const unsigned char* buffer, std::int32_t length);
