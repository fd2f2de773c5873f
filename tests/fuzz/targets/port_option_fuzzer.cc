// Any text after "-port=": refused exactly when it is empty or holds a non-digit, otherwise
// the port is the number modulo 65536, however many digits it has.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "network.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) {
        return 0;
    }
    bool all_digits = true;
    std::uint32_t expected = 0;
    for (const char character : text) {
        if (character < '0' || character > '9') {
            all_digits = false;
            break;
        }
        expected = (expected * 10 + static_cast<std::uint32_t>(character - '0')) % 65536;
    }
    require(check_digits(text.c_str()) == (all_digits ? 0 : 1));
    tcp_port = 4321;
    const int result = parse_port_option(text.c_str());
    if (text.empty() || !all_digits) {
        require(result == 1 && tcp_port == 4321);
    } else {
        require(result == 0 && tcp_port == expected);
    }
    return 0;
}
