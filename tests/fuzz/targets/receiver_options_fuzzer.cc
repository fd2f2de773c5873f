// catchwire's command line: any list of arguments is parsed without a fault, and an
// "-autosize=" value gives a piece size of exactly n mebibytes or is refused.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "receiver_options.h"
#include "receiver_state.h"

namespace {

// Parses arguments (after a program name). Returns parse_options' result.
int parse(const std::vector<std::string>& arguments) {
    const int result = parse_command_line("catchwire", arguments, parse_options);
    // The address points into this call's arguments, which end here.
    host_address = nullptr;
    return result;
}

}  // namespace

// The first byte chooses: one "-autosize=" value, or a list of arguments separated by
// newlines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (text.find('\0') != std::string::npos) {
        return 0;
    }
    if (data[0] % 2 == 0) {
        piece_limit = 1;
        const int result = parse_autosize_value(text);
        const bool digits =
            !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        if (result == 0) {
            require(digits);
            require(piece_limit != 0 && piece_limit % (1U << 20) == 0);
            // Read back the number of mebibytes: it must be the one typed.
            const std::uint64_t megabytes = piece_limit >> 20;
            const std::string typed =
                text.substr(std::min(text.find_first_not_of('0'), text.size()));
            require(typed == std::to_string(megabytes));
        } else {
            require(result == 1 && piece_limit == 1);
        }
        return 0;
    }
    const int result = parse(split_arguments(text));
    require(result == 0 || result == 1 || result == usage_shown);
    if (result == 0) {
        require(output_name.size() <= max_name_length);
    }
    return 0;
}
