#pragma once

#include <cstddef>
#include <span>

// Turns the bytes a terminal sends for one key press into PC key codes: a character code,
// or 0 followed by the extended code for function, cursor and editing keys and Alt
// combinations. Pure: no terminal, no clock, no state between calls.

// A key yields at most two codes (0 and the extended code).
constexpr std::size_t max_codes_per_key = 2;

// The longest control sequence that is waited for; a longer one is dropped unread.
constexpr std::size_t max_sequence_length = 32;

// Decodes the key at the start of bytes. Stores its codes in codes and their number in
// *code_count (0 for a sequence that yields no key, such as a focus or paste report), and
// returns how many bytes the key took. Returns 0 with *code_count 0 when bytes is empty, or
// when it holds only the start of a sequence that later bytes may complete while input_ended
// is false; with input_ended set the bytes are decided as they stand (a lone Escape is 27).
// Every code is 0..255.
std::size_t decode_key(std::span<const unsigned char> bytes, bool input_ended,
                       std::span<int, max_codes_per_key> codes, int* code_count);
