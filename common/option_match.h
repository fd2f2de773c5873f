#pragma once

#include <string_view>

// Option names compare without regard to letter case; only ASCII letters fold, whatever
// the locale.

// True when text equals option, ignoring case.
bool same_option(std::string_view text, std::string_view option);
// True when text begins with prefix, ignoring case.
bool starts_with_option(std::string_view text, std::string_view prefix);
