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

// Writes text to the open descriptor fd and closes it. Returns 0, or the errno of the
// first failure (fd is closed all the same).
int write_and_close(int fd, std::string_view text) {
    int error_number = 0;
    if (write_all(fd, reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 0) {
        error_number = errno;
    }
    if (close(fd) != 0 && error_number == 0) {
        error_number = errno;
    }
    return error_number;
}

// Appends line to the manifest, which must hold every earlier line. Returns 0, or the
// errno of the failure, after cutting a part-written line off again.
int append_manifest_line(std::string_view line) {
    const int fd = open(manifest_name.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd == -1) {
        return errno;
    }
    const off_t old_size = lseek(fd, 0, SEEK_END);
    int error_number = 0;
    if (old_size == -1 ||
        write_all(fd, reinterpret_cast<const unsigned char*>(line.data()), line.size()) != 0) {
        error_number = errno;
        if (old_size != -1) {
            static_cast<void>(ftruncate(fd, old_size));
        }
    }
    if (close(fd) != 0 && error_number == 0) {
        error_number = errno;
    }
    return error_number;
}

// Writes every line anew into a temporary file beside the manifest and renames it into
// the manifest's place, so that a failure leaves the manifest as it was. Returns 0, or the
// errno of the failure.
int rewrite_manifest() {
    const std::string temporary_name = manifest_name + ".tmp";
    const int fd = open(temporary_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd == -1) {
        return errno;
    }
    int error_number = write_and_close(fd, manifest_lines);
    if (error_number == 0 && rename(temporary_name.c_str(), manifest_name.c_str()) != 0) {
        error_number = errno;
    }
    if (error_number != 0) {
        unlink(temporary_name.c_str());
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
        std::fflush(stdout);
        return;
    }
    // The pieces lie next to the manifest: their names in it are relative to its folder.
    const std::string line = manifest_line(
        text.data(), std::string_view(output_name).substr(folder_length(manifest_name)));
    manifest_lines += line;
    // Appending is enough while the file holds every earlier line; after a failure, or when
    // the file is gone, the whole manifest is written again.
    int error_number = manifest_in_step_flag != 0 ? append_manifest_line(line) : -1;
    if (error_number != 0) {
        error_number = rewrite_manifest();
    }
    manifest_in_step_flag = error_number == 0 ? 1 : 0;
    if (error_number != 0) {
        std::printf("Error: Could not write the manifest %s: %s\n", manifest_name.c_str(),
                    std::strerror(error_number));
    }
    std::fflush(stdout);
}
