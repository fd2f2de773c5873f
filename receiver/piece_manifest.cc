#include "piece_manifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console.h"
#include "output_file.h"
#include "receiver_state.h"
#include "stream_digest.h"

namespace {

// The length of the folder part of name: up to and including its last "/".
std::size_t folder_length(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// Brings the manifest up to date with manifest_lines: appends the newest line when the file
// holds all the others, else writes the whole file anew. Returns 0, or the errno of the
// failure.
int write_manifest(std::string_view newest) {
    const bool whole = manifest_in_step_flag == 0;
    const std::string_view text = whole ? std::string_view(manifest_lines) : newest;
    const int fd = open(manifest_name.c_str(),
                        O_WRONLY | O_CREAT | O_CLOEXEC | (whole ? O_TRUNC : O_APPEND), 0666);
    if (fd == -1) {
        return errno;
    }
    int error_number = 0;
    if (write_all(fd, reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 0) {
        error_number = errno;
    }
    if (close(fd) != 0 && error_number == 0) {
        error_number = errno;
    }
    return error_number;
}

}  // namespace

std::string manifest_line(std::string_view hex, std::string_view name) {
    std::string escaped;
    for (const char c : name) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\r') {
            escaped += "\\r";
        } else {
            escaped += c;
        }
    }
    const std::string mark = escaped.size() != name.size() ? "\\" : "";
    return mark + std::string(hex) + "  " + escaped + "\n";
}

void record_finished_piece() {
    if (piece_digest == nullptr) {
        return;
    }
    digest_text text{};
    if (finish_digest(piece_digest, &text) != 0) {
        return;
    }
    if (manifest_name.empty()) {
        clear_status_line();
        std::fputs(manifest_line(text.data(), output_name).c_str(), stdout);
        return;
    }
    // The pieces lie next to the manifest: their names in it are relative to its folder.
    const std::string line = manifest_line(
        text.data(), std::string_view(output_name).substr(folder_length(manifest_name)));
    manifest_lines += line;
    const int error_number = write_manifest(line);
    manifest_in_step_flag = error_number == 0 ? 1 : 0;
    if (error_number != 0) {
        std::printf("Error: Could not write the manifest %s: %s\n", manifest_name.c_str(),
                    std::strerror(error_number));
    }
    std::fflush(stdout);
}
