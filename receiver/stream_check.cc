#include "stream_check.h"

#include <cstdio>

#include "receiver_state.h"
#include "stream_digest.h"

int start_receiver_digests() {
    if (sha256_flag == 0) {
        return 0;
    }
    if (start_digest(&stream_digest) != 0) {
        return 1;
    }
    if (autosize_flag == 0 || no_file_flag != 0) {
        return 0;
    }
    if (start_digest(&piece_digest) != 0) {
        return 1;
    }
    if (autoname_flag != 0) {
        manifest_name = output_name + ".sha256";
    }
    return 0;
}

void print_digest_summary() {
    if (sha256_flag == 0) {
        return;
    }
    digest_text text{};
    const int status = print_stream_digest(stream_digest, &text);
    if (expected_digest.empty()) {
        return;
    }
    if (status == 0 && expected_digest == text.data()) {
        std::printf("Notice: SHA-256 matches\n");
        return;
    }
    std::printf("Error: SHA-256 differs from the expected value\n");
    digest_mismatch_flag = 1;
}

int digest_exit_status() {
    return digest_mismatch_flag != 0 ? 1 : 0;
}

void release_digests() {
    end_digest(&stream_digest);
    end_digest(&piece_digest);
}
