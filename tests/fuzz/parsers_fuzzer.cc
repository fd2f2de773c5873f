// libFuzzer target for the text parsers, built once per program because both define the same
// global names: with FUZZ_SENDER it takes pitchwire's, else catchwire's. The first byte picks
// the parser (the key decoder, or a command line that begins with the port option, with the
// program's size option or with the rest), the rest is what it parses. The search is for
// crashes and sanitizer reports; the decoder's bounds fail an assert, so that libFuzzer keeps
// the input.

#include <algorithm>
#include <cassert>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "key_decoder.h"
#ifdef FUZZ_SENDER
#include "file_list.h"
#include "sender_options.h"
constexpr const char* prefixes[] = {"-port=", "-readsize=", ""};
#else
#include "piece_naming.h"
#include "receiver_options.h"
#include "receiver_state.h"
constexpr const char* prefixes[] = {"-port=", "-autosize=", ""};
#endif

// Parses the lines of text (an empty line an empty argument) as main would hand them over.
static int parse_lines(std::string text) {
    text = "program\n" + text + "\n";
    std::vector<char*> argv;
    for (std::size_t start = 0; start < text.size(); start = text.find('\n', start) + 1) {
        argv.push_back(&text[start]);
    }
    std::replace(text.begin(), text.end(), '\n', '\0');
    argv.push_back(nullptr);
    return parse_options(static_cast<int>(argv.size() - 1), argv.data());
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::span<const unsigned char> bytes(data + std::min<std::size_t>(size, 1), data + size);
    const std::string text(bytes.begin(), bytes.end());
    const unsigned choice = size == 0 ? 0 : data[0] % 5;
    // Keys, decoded as the console's queue does while more bytes may come (0) or after the
    // last (1): the decoder stays inside the bytes, yields codes 0..255, and waits only for
    // the start of a sequence that more bytes may end.
    while (choice <= 1 && !bytes.empty()) {
        int codes[max_codes_per_key] = {-1, -1};
        int count = -1;
        const std::size_t used = decode_key(bytes, choice == 1, codes, &count);
        assert(used <= bytes.size() && count >= 0 && count <= 2);
        assert(std::all_of(codes, codes + count, [](int code) { return code >= 0 && code < 256; }));
        assert(used > 0 || (count == 0 && choice == 0 && bytes.size() <= max_sequence_length));
        bytes = bytes.subspan(used == 0 ? bytes.size() : used);
    }
    // Help and version end the sender, and no argument can hold a zero byte.
    if (choice >= 2 && !strcasestr(text.c_str(), "-h") && !strcasestr(text.c_str(), "-v") &&
        text.find_first_of(std::string{'?', '\0'}) == std::string::npos) {
        parse_lines(prefixes[choice - 2] + text);
#ifdef FUZZ_SENDER
        free_file_list();
#else
        // And the numbered piece names made from one name.
        if (make_first_auto_name(text) == 0) {
            next_auto_name(output_name);
        }
#endif
    }
    return 0;
}
