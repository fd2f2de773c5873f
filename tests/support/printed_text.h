#pragma once

// Texts the programs print, built here independently of the code that prints them.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace wiretest {

// The line both banners end their title with.
inline const std::string version_line = "Version 1.34 Sep 13 1999\n";

// A quiet banner: an empty line, the program's title, the version line and an empty line.
inline std::string quiet_banner_of(std::string_view title) {
    return "\n" + std::string(title) + "\n" + version_line + "\n";
}

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
