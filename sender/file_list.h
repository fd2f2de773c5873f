#pragma once

// Appends a copy of name to file_list and returns 0. When memory runs out it prints the full
// banner and an error, frees the list and exits with status 1.
int add_file_name(const char* name);

// Releases every name still in file_list.
void free_file_list();

// Returns 0 when path exists; otherwise prints why not and returns 1. Nothing is opened.
int check_file_exists(const char* path);
