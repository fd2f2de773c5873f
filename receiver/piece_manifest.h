#pragma once

#include <string>
#include <string_view>

// Each piece's own SHA-256 with "-sha256" and "-autosize": for numbered pieces in a
// manifest next to them (IMAGE.000 ... -> IMAGE.sha256) that "sha256sum -c" reads, for
// pieces the operator names on standard output, one line per piece as it is completed.

// The line "sha256sum -c" reads for a file name and its digest: "HEX  NAME\n". A name
// holding a backslash, a line feed or a carriage return is written as sha256sum writes it:
// those characters escaped, and the line begun with a backslash.
std::string manifest_line(std::string_view hex, std::string_view name);

// Records the piece named output_name, whose bytes are all written, with the digest of
// those bytes, and starts the next piece's digest. Does nothing unless piece digests are
// made. A manifest that cannot be written gets an "Error: " line; the transfer goes on.
void record_finished_piece();
