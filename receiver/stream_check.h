#pragma once

// The receiver's "-sha256": the stream's digest in the summary, checked against the value
// "-sha256=" gave.

// Makes the digests the command line asks for: the stream's with "-sha256", and with
// "-autosize" and an output file each piece's; with "-autoname" as well it names the
// manifest after output_name, the pieces' base. Returns 0, or 1 after an "Error: " line.
int start_receiver_digests();

// With "-sha256", the lines that follow the summary's checksum line: the stream's digest,
// then, when a value was expected, "Notice: SHA-256 matches" or the error line that makes
// the run end with status 1.
void print_digest_summary();

// The exit status of a run that reached its summary: 1 when the digest was not the one
// expected, else 0.
int digest_exit_status();

// Releases every digest made; nothing when none was.
void release_digests();
