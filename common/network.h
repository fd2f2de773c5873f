#pragma once

#include <netinet/in.h>

#include <cstdint>

// The TCP port of the transfer; 111 unless "-port=" says otherwise.
extern std::uint16_t tcp_port;
extern unsigned char network_started;

// Starts the socket layer. Returns 0; on failure prints one line and exits with status 1.
int start_network();
void stop_network();

// A short text for a socket error code. Codes outside the fixed table share one static
// buffer ("TCP/IP error %d"), valid until the next such call.
const char* socket_error_text(int code);

// Stores in *address the first IPv4 address host_name resolves to. Returns 0, or 1 when
// the name does not resolve.
int resolve_host_name(const char* host_name, in_addr* address);

// Prints "Local TCP/IP address: %s\n" with an address a receiver can use.
void show_local_address();

// Parses the text after "-port=". Returns 0 with tcp_port set, or 1 after printing an error.
int parse_port_option(const char* value);

// 0 when every character of text is "0".."9" (the empty text included), else 1.
int check_digits(const char* text);
