// libFuzzer target for the text parsers, built once per program because both define the same
// global names: with FUZZ_SENDER it takes pitchwire's, else catchwire's. The first byte picks
// the parser (key decoder, port option, then the program's own), the rest is what it parses.
// A property that does not hold fails an assert, so that libFuzzer keeps the input.

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "key_decoder.h"
#include "network.h"
#ifdef FUZZ_SENDER
#include "file_list.h"
#include "sender_options.h"
#include "sender_state.h"
#else
#include "piece_naming.h"
#include "receiver_options.h"
#include "receiver_state.h"
#endif

namespace {

bool all_digits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The number a run of digits stands for, saturated at limit and taken modulo modulus.
std::int64_t typed_number(const std::string& text, std::int64_t limit,
                          std::int64_t modulus = INT64_MAX) {
    std::int64_t number = 0;
    for (const char digit : text) {
        number = std::min(number * 10 + (digit - '0'), limit) % modulus;
    }
    return number;
}

// Parses the lines of text (an empty line an empty argument) as main would hand them over.
int parse_lines(std::string text) {
    text = "program\n" + text + "\n";
    std::vector<char*> argv;
    for (std::size_t start = 0; start < text.size(); start = text.find('\n', start) + 1) {
        argv.push_back(&text[start]);
    }
    std::replace(text.begin(), text.end(), '\n', '\0');
    argv.push_back(nullptr);
    return parse_options(static_cast<int>(argv.size() - 1), argv.data());
}

// Decodes every key in bytes the way the console's queue does: the decoder stays inside
// them, yields codes 0..255, and waits only for the start of a sequence more bytes may end.
void decode_all(std::span<const unsigned char> bytes, bool input_ended) {
    while (!bytes.empty()) {
        std::array<int, max_codes_per_key> codes{-1, -1};
        int count = -1;
        const std::size_t used = decode_key(bytes, input_ended, codes, &count);
        assert(used <= bytes.size() && count >= 0 && count <= static_cast<int>(codes.size()));
        assert(std::all_of(codes.begin(), codes.begin() + count,
                           [](int code) { return code >= 0 && code <= 255; }));
        assert(used > 0 || (count == 0 && !input_ended && bytes.size() <= max_sequence_length));
        bytes = bytes.subspan(used == 0 ? bytes.size() : used);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const unsigned char> bytes(data + std::min<std::size_t>(size, 1), data + size);
    const std::string text(bytes.begin(), bytes.end());
    const int choice = size == 0 ? 0 : data[0] % 5;
    if (choice == 0) {
        decode_all(bytes, false);
        decode_all(bytes, true);
        return 0;
    }
    // A command line cannot hold a zero byte.
    if (text.find('\0') != std::string::npos) {
        return 0;
    }
    if (choice == 1) {
        // "-port=" takes any run of digits modulo 65536 and refuses anything else.
        tcp_port = 4321;
        const bool taken = parse_port_option(text.c_str()) == 0;
        assert(taken == all_digits(text) &&
               tcp_port == (taken ? typed_number(text, INT64_MAX / 10, 65536) : 4321));
#ifdef FUZZ_SENDER
    } else if (choice == 2 && text.find('\n') == std::string::npos) {
        // A "-readsize=" value is taken exactly or saturated, never wrapped.
        read_size = -1;
        const bool taken = parse_lines("-readsize=" + text) == 0;
        assert(taken == all_digits(text) && (!taken || read_size == typed_number(text, INT32_MAX)));
        free_file_list();
    } else {
        // Any command line parses without a fault, but the help and version options end the
        // program.
        for (const char* option : {"-help", "-?", "/?", "--help", "-h", "--version", "-v"}) {
            if (strcasestr(("\n" + text + "\n").c_str(),
                           ("\n" + std::string(option) + "\n").c_str())) {
                return 0;
            }
        }
        const int result = parse_lines(text);
        assert((result == 0 || result == 1) && read_size >= 0 && send_size >= 0);
        free_file_list();
    }
#else
    } else if (choice == 2) {
        // An "-autosize=" value gives exactly n mebibytes or is refused.
        piece_limit = 1;
        const bool taken = parse_autosize_value(text) == 0;
        assert(taken ? all_digits(text) && piece_limit != 0 && piece_limit % (1U << 20) == 0 &&
                           typed_number(text, INT64_MAX / 10) == std::int64_t(piece_limit >> 20)
                     : piece_limit == 1);
    } else if (choice == 3) {
        // Any command line parses without a fault; an accepted output name fits.
        const int result = parse_lines(text);
        // The address points into the arguments, which are gone.
        host_address = nullptr;
        assert(result == 1 || result == usage_shown ||
               (result == 0 && output_name.size() <= max_name_length));
    } else if (make_first_auto_name(text) == 0) {
        // Numbered piece names follow each other without losing the name's stem.
        assert(extension_start(text) == text.size() && output_name == text + ".000" &&
               next_auto_name(output_name) == text + ".001" &&
               next_auto_name(text + ".999") == text + ".1000" &&
               next_auto_name(text + ".1000") == text + ".1001");
    } else {
        // Only a name with an extension or too long is refused.
        const std::size_t extension = extension_start(text);
        assert(text.size() + 4 > max_name_length ||
               (extension < text.size() && text[extension] == '.' &&
                text.find_first_of("/\\", extension) == std::string::npos));
    }
#endif
    return 0;
}
