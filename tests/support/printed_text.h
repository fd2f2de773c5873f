#pragma once

// Texts the programs print, built here independently of the code that prints them.

#include <cstdint>
#include <cstdio>
#include <string>

namespace wiretest {

// "\r", 79 blanks, "\r": what clearing the status line writes.
inline const std::string blank_line = "\r" + std::string(79, ' ') + "\r";

// count with a comma between groups of three digits: "1,234,567".
inline std::string grouped(std::uint64_t count) {
    std::string digits = std::to_string(count);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

// A 32-bit byte sum as "TCPIP Data Checksum: %x" shows it.
inline std::string hex32(std::uint32_t sum) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", sum);
    return text;
}

}  // namespace wiretest
