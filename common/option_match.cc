#include "option_match.h"

namespace {

char fold_case(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool same_option(std::string_view text, std::string_view option) {
    if (text.size() != option.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (fold_case(text[i]) != fold_case(option[i])) {
            return false;
        }
    }
    return true;
}

bool starts_with_option(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && same_option(text.substr(0, prefix.size()), prefix);
}

bool is_unix_help(std::string_view text) {
    return text == "--help" || text == "-h";
}

bool asks_for_version(int argument_count, char** arguments) {
    for (int index = 1; index < argument_count; ++index) {
        const std::string_view argument = arguments[index];
        if (argument == "--version" || argument == "-V") {
            return true;
        }
    }
    return false;
}
