#pragma once

// What the fuzzer's parts share. The sender and the receiver define the same names (their
// state, parse_options), so each side is linked apart and shows only its entry point.

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

// Aborts, so that libFuzzer keeps the input, when a property does not hold.
inline void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// Parses the lines of text (an empty line an empty argument) as the command line of
// program with parse, as main would hand them over.
template <typename parser>
int parse_lines(const char* program, const std::string& text, parser parse) {
    std::vector<std::string> storage{program};
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        storage.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return parse(static_cast<int>(storage.size()), argv.data());
}

// True when text is a non-empty run of decimal digits.
inline bool all_digits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// choice 0 is one size value, 1 a whole command line; text holds no zero byte.
extern "C" void fuzz_sender(int choice, const std::string& text);
// choice 0 is one "-autosize=" value, 1 a command line, 2 an output name.
extern "C" void fuzz_receiver(int choice, const std::string& text);
