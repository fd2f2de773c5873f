#pragma once

// Brings buffer_capacity, send_size and read_size to the values in force for the transfer
// and, with "-debug", shows them. It cannot fail.
void apply_buffer_sizes();
