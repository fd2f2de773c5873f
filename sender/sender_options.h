#pragma once

// Prints the usage text of the command line.
void print_usage();

// Reads the command line into the sender state and file_list. Returns 0 to go on, or 1 after
// printing an error (main then frees the list and exits with status 1). Exits by itself with
// status 0 for the bare call and the help and version options.
int parse_options(int argc, char** argv);
