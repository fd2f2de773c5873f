#pragma once

// The lines that end a transfer, printed alike by the file and the generated-data runs.

// "\n", then the count, the rate and the checksum of everything sent since the connection.
void print_totals();
// Blanks the progress line and prints "Notice: send was aborted".
void print_abort_notice();
