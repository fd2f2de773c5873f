#pragma once

// Connects data_socket to the sender at address_text (dotted decimal) on tcp_port, trying
// again once a second while the connection is refused or the host is unreachable.
// Returns 0 when connected. Returns 1 when the socket can't be made, on any other connect
// failure, on the operator's abort (each after its message) and at once when
// cancel_requested is set; a socket left in data_socket is the caller's to close.
int connect_to_sender(const char* address_text);
