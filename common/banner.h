#pragma once

// The version and build date that both programs show.
constexpr int version_major = 1;
constexpr int version_minor = 34;
constexpr const char* build_date_text = "Sep 13 1999";

// The title line differs between the programs; each program defines its own.
extern const char* const banner_title;

// Prints the banner: the four notice lines unless quiet_flag is set, then an empty line,
// the title, the version line and another empty line.
void print_banner(unsigned char quiet_flag, int major_version, int minor_version,
                  const char* build_date);

// The full banner, whatever "-quiet" says: it stands before every usage text and every
// error the option parsers print.
void print_full_banner();

// Prints "<program_name> 1.34", the version the banner shows, on a line of its own.
void print_version_line(const char* program_name);
