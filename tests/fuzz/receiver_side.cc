// catchwire's command line and output names: any arguments are parsed without a fault, an
// "-autosize=" value gives exactly n mebibytes or is refused, and numbered piece names
// follow each other without losing the name's stem.

#include <cstdint>
#include <string>

#include "answer_input.h"
#include "fuzz_sides.h"
#include "piece_naming.h"
#include "receiver_options.h"
#include "receiver_state.h"

namespace {

void check_autosize(const std::string& text) {
    piece_limit = 1;
    if (parse_autosize_value(text) != 0) {
        require(piece_limit == 1);
        return;
    }
    require(all_digits(text) && piece_limit != 0 && piece_limit % (1U << 20) == 0);
    // The number of mebibytes read back must be the one typed.
    require(text.substr(std::min(text.find_first_not_of('0'), text.size())) ==
            std::to_string(piece_limit >> 20));
}

void check_name(const std::string& name) {
    const std::size_t extension = extension_start(name);
    require(extension <= name.size());
    if (extension < name.size()) {
        require(name[extension] == '.' &&
                name.find_first_of("/\\", extension) == std::string::npos);
    }
    output_name.clear();
    if (make_first_auto_name(name) != 0) {
        require(extension < name.size() || name.size() + 4 > max_name_length);
        return;
    }
    require(output_name == name + ".000");
    require(next_auto_name(output_name) == name + ".001");
    require(next_auto_name(name + ".999") == name + ".1000");
    require(next_auto_name(name + ".1000") == name + ".1001");
}

}  // namespace

extern "C" void fuzz_receiver(int choice, const std::string& text) {
    if (choice == 0) {
        check_autosize(text);
    } else if (choice == 1) {
        const int result = parse_lines("catchwire", text, parse_options);
        // The address points into the arguments, which are gone.
        host_address = nullptr;
        require(result == 0 || result == 1 || result == usage_shown);
        require(result != 0 || output_name.size() <= max_name_length);
    } else {
        check_name(text);
    }
}
