#pragma once

// The lines that end a run: the totals of a file or pattern run, and the abort notice that
// replaces a status line.

// "\n", then the count, the rate and the checksum of everything sent since the connection,
// and with "-sha256" its SHA-256.
void print_totals();
// Blanks the progress line and prints "Notice: send was aborted".
void print_abort_notice();
