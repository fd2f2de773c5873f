#include "file_list.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "banner.h"
#include "sender_state.h"

namespace {

// The size of one list entry as the operator's message has always given it.
constexpr int file_entry_size = 16;

}  // namespace

int add_file_name(const char* name) {
    try {
        file_list.emplace_back(name);
    } catch (const std::bad_alloc&) {
        print_full_banner();
        std::printf("Error: Could not allocate %d bytes of memory\n", file_entry_size);
        free_file_list();
        std::exit(1);
    }
    return 0;
}

void free_file_list() {
    file_list.clear();
}

int check_file_exists(const char* path) {
    struct stat status {};
    if (stat(path, &status) == 0) {
        return 0;
    }
    const int error_number = errno;
    if (error_number == ENOENT) {
        std::printf("Error: File %s does not exist\n", path);
    } else {
        std::printf("Error: File %s %s\n", path, std::strerror(error_number));
    }
    return 1;
}
