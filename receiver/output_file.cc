#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int create_output_file(const char* name) {
    return open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool is_regular_file(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
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
