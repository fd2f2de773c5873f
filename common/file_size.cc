#include "file_size.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// Stores the full 64-bit size of the open file fd and returns 0; when fstat fails prints
// two "Error: " lines, leaves *file_size alone and returns 1.
int open_file_size(std::int64_t* file_size, int fd, const char* file_name) {
    struct stat status {};
    if (fstat(fd, &status) < 0) {
        // printf may change errno, so errno is saved first.
        const int error_number = errno;
        std::printf("Error: Could not stat file %s\n", file_name);
        std::printf("Error: stat returned error: %s\n", std::strerror(error_number));
        return 1;
    }
    *file_size = static_cast<std::int64_t>(status.st_size);
    return 0;
}
