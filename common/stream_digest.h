#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The SHA-256 of a stream, taken block by block as it passes, through libcrypto's EVP
// digest interface (which uses the processor's SHA instructions where it has them).

// A running digest (libcrypto's EVP_MD_CTX); nullptr while none is made.
struct evp_md_ctx_st;
using digest_handle = evp_md_ctx_st*;

constexpr std::size_t digest_hex_length = 64;
// The 64 lower-case hexadecimal digits of a digest and their terminator.
using digest_text = std::array<char, digest_hex_length + 1>;

// Makes *handle a fresh digest of no bytes. Returns 0, or 1 after an "Error: " line when
// libcrypto cannot make one.
int start_digest(digest_handle* handle);
// Adds length bytes of data to the digest. Never fails.
void add_to_digest(digest_handle handle, const unsigned char* data, std::size_t length);
// Stores in *text the digest of every byte added since the start or the last finish, and
// starts the digest over. Returns 0, or 1 after an "Error: " line (*text is then cleared).
int finish_digest(digest_handle handle, digest_text* text);
// Releases *handle and sets it to nullptr; does nothing when it is nullptr.
void end_digest(digest_handle* handle);

// True when text is exactly 64 hexadecimal digits, in either case.
bool is_digest_text(std::string_view text);

// Prints "TCPIP Data SHA-256: " and the digest of the whole stream, finishing it. Returns
// 0, or 1 when the digest could not be finished (an "Error: " line instead).
int print_stream_digest(digest_handle handle, digest_text* text);
