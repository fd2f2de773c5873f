#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Where the extension of path begins: the last dot of its final component (after any drive
// letter and colon, and after the last "/" or "\"). Returns path.size() when there is none,
// as for the components "." and "..".
std::size_t extension_start(std::string_view path);

// The name of the piece after current: its last three characters read as a number, plus
// one, written back with at least three digits (IMAGE.009 -> IMAGE.010, IMAGE.999 -> IMAGE.1000).
std::string next_auto_name(std::string_view current);

// Replaces output_name by the first numbered piece name (name.000). Returns 1, after its
// message, when name has an extension or the result would be too long.
int make_first_auto_name(const std::string& name);

// Whether the current piece holds its full size with "-autosize": complete, even while the
// next one has not been opened yet.
bool piece_is_complete();

// Opens the next piece, asking the operator for its name unless pieces are numbered.
// Returns 0 with the old piece closed, the new one in output_fd and its name in output_name;
// 1 when writing must stop (the answer "Q", end of input, or a numbered piece not created).
int open_next_piece(int& output_fd);
