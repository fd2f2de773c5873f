#pragma once

#include <string_view>

// Option names compare without regard to letter case; only ASCII letters fold, whatever
// the locale.

// True when text equals option, ignoring case.
bool same_option(std::string_view text, std::string_view option);
// True when text begins with prefix, ignoring case.
bool starts_with_option(std::string_view text, std::string_view prefix);

// True for "--help" and "-h", which stand for "-help" where they stand. They are matched
// whole and exactly (no case folding).
bool is_unix_help(std::string_view text);
// True when "--version" or "-V" (whole and exact) is on the command line: the version line
// then answers, whatever else the line holds.
bool asks_for_version(int argument_count, char** arguments);
