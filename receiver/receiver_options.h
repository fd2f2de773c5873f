#pragma once

#include <string_view>

// parse_options' result when it printed the usage text or the version line: main ends
// with status 0.
constexpr int usage_shown = 2;

// Reads the command line into the receiver's state. Returns 0 to go on, usage_shown after
// the help and version options or an empty command line, and 1 when an argument was
// refused (its message already printed).
int parse_options(int argument_count, char** arguments);

// Takes the text after "-autosize=" as a whole number of mebibytes and stores the piece
// size. Returns 1, after an "Error: " line, for an empty, zero, non-decimal or oversized value.
int parse_autosize_value(std::string_view value);

// Prints the usage text.
void print_usage();
