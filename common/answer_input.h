#pragma once

#include <cstddef>

// Longest name or answer the programs take, without its terminator.
constexpr std::size_t max_name_length = 511;

// Reads one line of standard input into answer (which holds max_name_length + 1 bytes),
// without its line end, with the terminal in its normal mode for the read.
// Returns 0 for a line; 1 at end of input or on an interrupt (callers stop as for "Q", or
// take the interrupt path when cancel_requested is set);
// 2 for a line longer than max_name_length, after printing an "Error: " line (ask again).
int read_answer_line(char* answer);
