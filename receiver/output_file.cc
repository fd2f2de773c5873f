#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "receiver_state.h"

namespace {

bool same_file(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

}  // namespace

int create_output_file(const char* name) {
    return open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool is_deletable_output(const char* name, int fd) {
    struct stat named {};
    struct stat opened {};
    return lstat(name, &named) == 0 && fstat(fd, &opened) == 0 && S_ISREG(named.st_mode) &&
           same_file(named, opened);
}

int take_standard_output_for_data(const char* name) {
    struct stat named {};
    struct stat output {};
    if (stat(name, &named) != 0 || fstat(STDOUT_FILENO, &output) != 0 ||
        !same_file(named, output)) {
        return -1;
    }
    const int data_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (data_fd == -1) {
        return -1;
    }
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    return data_fd;
}

void remember_written_piece(int fd) {
    struct stat opened {};
    if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
        written_pieces.emplace_back(opened.st_dev, opened.st_ino);
    }
}

bool is_written_piece(const char* name) {
    struct stat named {};
    if (stat(name, &named) != 0) {
        return false;
    }
    const file_identity identity{named.st_dev, named.st_ino};
    return std::find(written_pieces.begin(), written_pieces.end(), identity) !=
           written_pieces.end();
}

int write_all(int fd, const unsigned char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 1;
        }
        // A write that takes nothing leaves errno untouched; a full device is the cause.
        if (written == 0) {
            errno = ENOSPC;
            return 1;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return 0;
}
