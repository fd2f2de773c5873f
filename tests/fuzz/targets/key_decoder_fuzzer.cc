// Any bytes a terminal may send: the decoder stays inside them, yields codes 0..255,
// and always makes progress once it cannot wait for more.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "key_decoder.h"

namespace {

// Decodes every key in bytes the way the console's queue does, checking each step.
void decode_all(std::span<const unsigned char> bytes, bool input_ended) {
    while (!bytes.empty()) {
        std::array<int, max_codes_per_key> codes{-1, -1};
        int code_count = -1;
        const std::size_t used = decode_key(bytes, input_ended, codes, &code_count);
        require(used <= bytes.size());
        require(code_count >= 0 && code_count <= static_cast<int>(max_codes_per_key));
        for (int index = 0; index < code_count; ++index) {
            require(codes[static_cast<std::size_t>(index)] >= 0 &&
                    codes[static_cast<std::size_t>(index)] <= 255);
        }
        if (used == 0) {
            // Waiting is allowed only for the start of a sequence that more bytes may end.
            require(code_count == 0);
            require(!input_ended && bytes.size() <= max_sequence_length);
            return;
        }
        bytes = bytes.subspan(used);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const unsigned char> bytes(data, size);
    decode_all(bytes, false);
    decode_all(bytes, true);
    return 0;
}
