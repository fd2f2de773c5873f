// pitchwire's command line: any list of arguments is parsed without a fault, and a
// "-readsize=" or "-sendsize=" value is taken exactly, or saturated, never wrapped.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "file_list.h"
#include "fuzz_support.h"
#include "sender_options.h"
#include "sender_state.h"

namespace {

bool is_help(std::string_view argument) {
    if (argument == "--help" || argument == "-h" || argument == "--version" || argument == "-V") {
        return true;
    }
    std::string folded(argument);
    for (char& character : folded) {
        if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    return folded == "-help" || folded == "-?" || folded == "/?";
}

// Parses arguments (after a program name). Returns parse_options' result.
int parse(const std::vector<std::string>& arguments) {
    const int result = parse_command_line("pitchwire", arguments, parse_options);
    free_file_list();
    return result;
}

// The value the digits of text spell, saturated at the largest signed 32-bit number.
std::int32_t saturated_value(std::string_view text) {
    std::int64_t value = 0;
    for (const char digit : text) {
        value = std::min<std::int64_t>(value * 10 + (digit - '0'),
                                       std::numeric_limits<std::int32_t>::max());
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

// The first byte chooses: one size option whose value is the rest, or a whole list of
// arguments separated by newlines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (text.find('\0') != std::string::npos) {
        return 0;
    }
    if (data[0] % 2 == 0) {
        const bool digits =
            !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        read_size = -1;
        const int result = parse({"-readsize=" + text});
        require(result == (digits ? 0 : 1));
        if (digits) {
            require(read_size == saturated_value(text));
        }
        return 0;
    }
    const std::vector<std::string> arguments = split_arguments(text);
    for (const std::string& argument : arguments) {
        // The help and version options end the program by design.
        if (is_help(argument)) {
            return 0;
        }
    }
    const int result = parse(arguments);
    require(result == 0 || result == 1);
    require(read_size >= 0 && send_size >= 0);
    return 0;
}
