// One libFuzzer target for the text parsers: the first byte picks the parser (key decoder,
// port option, the sender's options, the receiver's options or piece names), the rest is
// what it parses.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz_sides.h"
#include "key_decoder.h"
#include "network.h"

namespace {

// Decodes every key in bytes the way the console's queue does: the decoder stays inside
// them, yields codes 0..255, and waits only for the start of a sequence more bytes may end.
void decode_all(std::span<const unsigned char> bytes, bool input_ended) {
    while (!bytes.empty()) {
        std::array<int, max_codes_per_key> codes{-1, -1};
        int count = -1;
        const std::size_t used = decode_key(bytes, input_ended, codes, &count);
        require(used <= bytes.size());
        require(count >= 0 && count <= static_cast<int>(max_codes_per_key));
        for (int index = 0; index < count; ++index) {
            require(codes[static_cast<std::size_t>(index)] >= 0 &&
                    codes[static_cast<std::size_t>(index)] <= 255);
        }
        if (used == 0) {
            require(count == 0 && !input_ended && bytes.size() <= max_sequence_length);
            return;
        }
        bytes = bytes.subspan(used);
    }
}

// "-port=" takes any run of digits modulo 65536 and refuses anything else, keeping the port.
void check_port(const std::string& text) {
    std::uint32_t expected = 0;
    for (const char digit : text) {
        expected = (expected * 10 + static_cast<std::uint32_t>(digit - '0')) % 65536;
    }
    require(check_digits(text.c_str()) ==
            (text.find_first_not_of("0123456789") == std::string::npos ? 0 : 1));
    tcp_port = 4321;
    const int result = parse_port_option(text.c_str());
    require(all_digits(text) ? result == 0 && tcp_port == expected
                             : result == 1 && tcp_port == 4321);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const unsigned char> bytes(data + 1, size - 1);
    const std::string text(bytes.begin(), bytes.end());
    const int choice = data[0] % 7;
    if (choice == 0) {
        decode_all(bytes, false);
        decode_all(bytes, true);
    } else if (text.find('\0') != std::string::npos) {
        // A command line cannot hold a zero byte.
    } else if (choice == 1) {
        check_port(text);
    } else if (choice < 4) {
        fuzz_sender(choice - 2, text);
    } else {
        fuzz_receiver(choice - 4, text);
    }
    return 0;
}
