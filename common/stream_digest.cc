#include "stream_digest.h"

#include <openssl/evp.h>

#include <cstdio>

namespace {

// Starts handle over as the digest of no bytes. Returns 0, or 1 after the error line.
int restart_digest(digest_handle handle) {
    if (EVP_DigestInit_ex(handle, EVP_sha256(), nullptr) != 1) {
        std::printf("Error: Could not start the SHA-256 digest\n");
        return 1;
    }
    return 0;
}

}  // namespace

int start_digest(digest_handle* handle) {
    *handle = EVP_MD_CTX_new();
    if (*handle == nullptr) {
        std::printf("Error: Could not start the SHA-256 digest\n");
        return 1;
    }
    return restart_digest(*handle);
}

void add_to_digest(digest_handle handle, const unsigned char* data, std::size_t length) {
    // An update of a started SHA-256 context only hashes: it has no way to fail.
    static_cast<void>(EVP_DigestUpdate(handle, data, length));
}

int finish_digest(digest_handle handle, digest_text* text) {
    text->fill('\0');
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(handle, digest.data(), &length) != 1 ||
        std::size_t{length} * 2 != digest_hex_length) {
        std::printf("Error: Could not finish the SHA-256 digest\n");
        return 1;
    }
    constexpr const char* hex_digits = "0123456789abcdef";
    for (std::size_t index = 0; index < length; ++index) {
        (*text)[2 * index] = hex_digits[digest[index] >> 4U];
        (*text)[2 * index + 1] = hex_digits[digest[index] & 15U];
    }
    if (restart_digest(handle) != 0) {
        text->fill('\0');
        return 1;
    }
    return 0;
}

void end_digest(digest_handle* handle) {
    EVP_MD_CTX_free(*handle);
    *handle = nullptr;
}

bool is_digest_text(std::string_view text) {
    return text.size() == digest_hex_length &&
           text.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

int print_stream_digest(digest_handle handle, digest_text* text) {
    if (finish_digest(handle, text) != 0) {
        return 1;
    }
    std::printf("TCPIP Data SHA-256: %s\n", text->data());
    return 0;
}
