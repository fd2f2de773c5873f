// Any output name: the extension is found inside the final component, and numbered piece
// names follow each other without losing the name's stem.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "answer_input.h"
#include "fuzz_support.h"
#include "piece_naming.h"
#include "receiver_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::size_t extension = extension_start(name);
    require(extension <= name.size());
    if (extension < name.size()) {
        require(name[extension] == '.');
        require(name.find_first_of("/\\", extension) == std::string::npos);
    }

    // The command line cannot hold a zero byte, so neither can a name.
    if (name.find('\0') != std::string::npos) {
        return 0;
    }
    output_name.clear();
    if (make_first_auto_name(name) != 0) {
        require(extension < name.size() || name.size() + 4 > max_name_length);
        return 0;
    }
    require(output_name == name + ".000");
    require(next_auto_name(output_name) == name + ".001");
    require(next_auto_name(name + ".999") == name + ".1000");
    require(next_auto_name(name + ".1000") == name + ".1001");
    return 0;
}
