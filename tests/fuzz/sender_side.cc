// pitchwire's command line: any list of arguments is parsed without a fault, and a
// "-readsize=" value is taken exactly, or saturated, never wrapped.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <string>

#include "file_list.h"
#include "fuzz_sides.h"
#include "sender_options.h"
#include "sender_state.h"

namespace {

int parse(const std::string& text) {
    const int result = parse_lines("pitchwire", text, parse_options);
    free_file_list();
    return result;
}

// The help and version options end the program by design.
bool ends_program(std::string argument) {
    std::transform(argument.begin(), argument.end(), argument.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return argument == "--help" || argument == "-h" || argument == "--version" ||
           argument == "-v" || argument == "-help" || argument == "-?" || argument == "/?";
}

}  // namespace

extern "C" void fuzz_sender(int choice, const std::string& text) {
    if (choice == 0) {
        // One argument: a newline would split it.
        if (text.find('\n') != std::string::npos) {
            return;
        }
        read_size = -1;
        require(parse("-readsize=" + text) == (all_digits(text) ? 0 : 1));
        if (!all_digits(text)) {
            return;
        }
        std::int64_t expected = 0;
        for (const char digit : text) {
            expected = std::min<std::int64_t>(expected * 10 + (digit - '0'),
                                              std::numeric_limits<std::int32_t>::max());
        }
        require(read_size == expected);
        return;
    }
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (ends_program(text.substr(start, end - start))) {
            return;
        }
        start = end + 1;
    }
    const int result = parse(text);
    require(result == 0 || result == 1);
    require(read_size >= 0 && send_size >= 0);
}
