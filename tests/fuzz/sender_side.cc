// pitchwire's command line: any list of arguments is parsed without a fault, and a
// "-readsize=" value is taken exactly, or saturated, never wrapped.

#include <algorithm>
#include <cstdint>
#include <cstring>
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
    // The help and version options end the program by design.
    for (const char* option : {"-help", "-?", "/?", "--help", "-h", "--version", "-v"}) {
        if (strcasestr(("\n" + text + "\n").c_str(), ("\n" + std::string(option) + "\n").c_str())) {
            return;
        }
    }
    const int result = parse(text);
    require(result == 0 || result == 1);
    require(read_size >= 0 && send_size >= 0);
}
