#pragma once

// What the fuzz targets share: a check that stops the run on a broken property, and the
// way a command line is made from the fuzzer's bytes and handed to a parse_options.

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Aborts, so that libFuzzer keeps the input, when a property does not hold.
inline void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// The lines of text: one argument each, an empty line an empty argument.
inline std::vector<std::string> split_arguments(std::string_view text) {
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        arguments.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

// Calls parse(argc, argv) with program_name followed by arguments, as main would get them.
template <typename parser>
int parse_command_line(std::string_view program_name, const std::vector<std::string>& arguments,
                       parser parse) {
    std::vector<std::string> storage{std::string(program_name)};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (std::string& argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return parse(static_cast<int>(storage.size()), argv.data());
}
