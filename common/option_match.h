#pragma once

#include <string_view>

// Option names compare without regard to letter case; only ASCII letters fold, whatever
// the locale.

// True when text equals option, ignoring case.
bool same_option(std::string_view text, std::string_view option);
// True when text begins with prefix, ignoring case.
bool starts_with_option(std::string_view text, std::string_view prefix);

// What the first "--help", "-h", "--version" or "-V" on the command line asks for. These
// are matched whole and exactly (no case folding), and win over every other argument.
constexpr int no_help_or_version = 0;
constexpr int help_requested = 1;
constexpr int version_requested = 2;
int find_help_or_version(int argument_count, char** arguments);
