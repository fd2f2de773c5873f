#include "sender_options.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "answer_input.h"
#include "banner.h"
#include "file_list.h"
#include "network.h"
#include "option_match.h"
#include "sender_state.h"

namespace {

constexpr const char* usage_text =
    "\nUsage: send [options] file1 [file2] [filen]\n"
    "       -           : No files, send random data\n"
    "       -config     : Display TCP/IP configuration\n"
    "       -help       : Display command help\n"
    "       -pause      : Pause before each file to insert new media\n"
    "       -port       : Set TCP/IP Port Number\n"
    "       -readsize=n : Set disk read buffer size to n bytes\n"
    "       -sendsize=n : Set send buffer size to n bytes\n"
    "       -sha256     : Print the SHA-256 of the stream\n";

constexpr std::size_t port_prefix_length = 6;  // "-port="
constexpr std::size_t size_prefix_length = 9;  // "-readsize", "-sendsize"

// Reads the value of "-readsize=n" or "-sendsize=n" (name is "readsize" or "sendsize") into
// *target. Returns 0, or 1 after printing the banner, the error and the usage line.
// A number too large for 32 bits saturates: every value above 32768 means 32768 anyway.
int parse_size_value(const char* argument, const char* name, std::int32_t* target) {
    const char* value = argument + size_prefix_length;
    if (*value != '=' || value[1] == '\0') {
        print_full_banner();
        std::printf("Error: missing option to -%s\n", name);
        std::printf("Usage: -%s=n\n", name);
        return 1;
    }
    ++value;
    if (check_digits(value) != 0) {
        print_full_banner();
        std::printf("Error: found non decimal character in -%s option\n", name);
        std::printf("Usage: -%s=n\n", name);
        return 1;
    }
    constexpr std::int64_t largest = std::numeric_limits<std::int32_t>::max();
    std::int64_t number = 0;
    for (const char* digit = value; *digit != '\0' && number < largest; ++digit) {
        number = number * 10 + (*digit - '0');
    }
    *target = static_cast<std::int32_t>(number < largest ? number : largest);
    return 0;
}

}  // namespace

void print_usage() {
    std::fputs(usage_text, stdout);
}

int parse_options(int argc, char** argv) {
    if (argc <= 1) {
        print_full_banner();
        print_usage();
        std::exit(0);
    }
    if (asks_for_version(argc, argv)) {
        print_version_line("pitchwire");
        std::exit(0);
    }
    config_flag = 0;
    quiet_flag = 0;
    debug_flag = 0;
    pause_flag = 0;
    test_flag = 0;
    read_size = 0;
    send_size = 0;
    int result = 0;

    for (int index = 1; index < argc; ++index) {
        const char* argument = argv[index];
        const std::string_view text(argument);
        if (same_option(text, "-help") || same_option(text, "-?") || same_option(text, "/?") ||
            is_unix_help(text)) {
            print_full_banner();
            print_usage();
            free_file_list();
            std::exit(0);
        }
        if (same_option(text, "-test")) {
            test_flag = 1;
        } else if (same_option(text, "-pause")) {
            pause_flag = 1;
        } else if (same_option(text, "-config")) {
            config_flag = 1;
        } else if (same_option(text, "-debug")) {
            debug_flag = 1;
        } else if (starts_with_option(text, "-port=")) {
            if (parse_port_option(argument + port_prefix_length) != 0) {
                return 1;
            }
        } else if (same_option(text, "-quiet")) {
            quiet_flag = 1;
        } else if (starts_with_option(text, "-readsize")) {
            if (parse_size_value(argument, "readsize", &read_size) != 0) {
                return 1;
            }
        } else if (starts_with_option(text, "-sendsize")) {
            if (parse_size_value(argument, "sendsize", &send_size) != 0) {
                return 1;
            }
        } else if (same_option(text, "-sha256")) {
            sha256_flag = 1;
        } else if (starts_with_option(text, "-sha256=")) {
            print_full_banner();
            std::printf("Error: -sha256 takes no value: the sender has nothing to compare with\n");
            return 1;
        } else if (text == "-") {
            no_file_flag = 1;
        } else if (text.starts_with('-')) {
            print_full_banner();
            std::printf("Error: Unknown argument: %s\n", argument);
            result = 1;
        } else if (text.size() > max_name_length) {
            // The name would not fit the buffers that hold it while it is sent; it is not
            // echoed, as it may be very long.
            print_full_banner();
            std::printf("Error: File names are limited to %zu characters\n", max_name_length);
            return 1;
        } else {
            add_file_name(argument);
        }
    }
    return result;
}
