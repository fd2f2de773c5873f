#include "file_size.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Prints the two lines of a failed size query for error_number and returns 1.
int report_size_failure(const char* file_name, int error_number) {
    std::printf("Error: Could not stat file %s\n", file_name);
    std::printf("Error: stat returned error: %s\n", std::strerror(error_number));
    return 1;
}

}  // namespace

int open_file_size(std::int64_t* file_size, int fd, const char* file_name) {
    struct stat status {};
    if (fstat(fd, &status) < 0) {
        return report_size_failure(file_name, errno);
    }
    if (S_ISREG(status.st_mode)) {
        *file_size = static_cast<std::int64_t>(status.st_size);
        return 0;
    }
    if (!S_ISBLK(status.st_mode)) {
        *file_size = unknown_file_size;
        return 0;
    }
    // A block device reports no size to fstat; its capacity is what a whole copy must hold.
    std::uint64_t capacity = 0;
    if (ioctl(fd, BLKGETSIZE64, &capacity) < 0) {
        return report_size_failure(file_name, errno);
    }
    *file_size = static_cast<std::int64_t>(capacity);
    return 0;
}
