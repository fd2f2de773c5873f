#include "receiver_options.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "answer_input.h"
#include "banner.h"
#include "network.h"
#include "option_match.h"
#include "receiver_state.h"
#include "stream_digest.h"

const char* const banner_title = "TCP/IP Data Transfer Utility";

namespace {

constexpr const char* usage_text =
    "\nUsage: recv [options] <ip_addr> <filename>\n"
    "       -           : No files, recv random data\n"
    "       -config     : Display TCP/IP configuration\n"
    "       -help       : Display command help\n"
    "       -autosize=n : Limit created files to n MB\n"
    "       -autoname   : Automatically name image files\n"
    "       -port       : Set TCP/IP Port Number\n"
    "       -sha256     : Print the SHA-256 of the stream and of each piece\n"
    "       -sha256=hex : Check the stream against the SHA-256 hex\n";

// The largest piece size in mebibytes whose byte count still fits in 64 bits.
constexpr std::uint64_t max_autosize = UINT64_MAX >> 20;

// Handles an argument that begins with "-autosize". Returns 1 when it is refused.
int parse_autosize_option(std::string_view argument) {
    autosize_flag = 1;
    constexpr std::string_view prefix = "-autosize=";
    if (argument.size() < prefix.size() || argument[prefix.size() - 1] != '=') {
        std::printf("Error: Incomplete option to Auto Size\n");
        return 1;
    }
    return parse_autosize_value(argument.substr(prefix.size()));
}

constexpr std::string_view digest_prefix = "-sha256=";

// Takes the text after "-sha256=" as the digest the stream must have. Returns 1, after an
// "Error: " line, unless it is exactly 64 hexadecimal digits.
int parse_expected_digest(std::string_view value) {
    if (!is_digest_text(value)) {
        std::printf("Error: -sha256= must be followed by 64 hexadecimal digits\n");
        return 1;
    }
    sha256_flag = 1;
    expected_digest = value;
    for (char& digit : expected_digest) {
        digit = static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
    }
    return 0;
}

}  // namespace

void print_usage() {
    std::fputs(usage_text, stdout);
}

int parse_autosize_value(std::string_view value) {
    if (value.empty()) {
        std::printf("Error: Missing size in -autosize option\n");
        return 1;
    }
    // Every character is checked before the size, so "99999999999999999999x" is not decimal.
    if (value.find_first_not_of("0123456789") != std::string_view::npos) {
        std::printf("Error: found non decimal character in -autosize option\n");
        return 1;
    }
    std::uint64_t megabytes = 0;
    for (char digit : value) {
        megabytes = megabytes * 10 + static_cast<std::uint64_t>(digit - '0');
        if (megabytes > max_autosize) {
            std::printf("Error: -autosize value is too large\n");
            return 1;
        }
    }
    if (megabytes == 0) {
        std::printf("Error: -autosize must be at least 1 MB\n");
        return 1;
    }
    if (megabytes > 2000) {
        std::printf("Warning: DOS files are limited to 2GB in size.\n");
    }
    piece_limit = megabytes << 20;
    return 0;
}

int parse_options(int argument_count, char** arguments) {
    if (argument_count <= 1) {
        print_full_banner();
        print_usage();
        return usage_shown;
    }
    if (asks_for_version(argument_count, arguments)) {
        print_version_line("catchwire");
        return usage_shown;
    }
    int result = 0;
    int positional_count = 0;
    for (int i = 1; i < argument_count; ++i) {
        const std::string_view argument = arguments[i];
        if (same_option(argument, "-help") || argument == "-?" || argument == "/?" ||
            is_unix_help(argument)) {
            print_full_banner();
            print_usage();
            return usage_shown;
        }
        if (same_option(argument, "-pause") || same_option(argument, "-debug")) {
            continue;
        }
        if (same_option(argument, "-config")) {
            config_flag = 1;
        } else if (starts_with_option(argument, "-port=")) {
            if (parse_port_option(arguments[i] + 6) != 0) {
                return 1;
            }
        } else if (same_option(argument, "-quiet")) {
            quiet_flag = 1;
        } else if (starts_with_option(argument, "-autosize")) {
            if (parse_autosize_option(argument) != 0) {
                return 1;
            }
        } else if (same_option(argument, "-autoname")) {
            autoname_flag = 1;
        } else if (same_option(argument, "-sha256")) {
            // Given again without a value, it drops an earlier expected digest.
            sha256_flag = 1;
            expected_digest.clear();
        } else if (starts_with_option(argument, digest_prefix)) {
            if (parse_expected_digest(argument.substr(digest_prefix.size())) != 0) {
                return 1;
            }
        } else if (argument == "-") {
            no_file_flag = 1;
        } else if (argument.starts_with('-')) {
            print_full_banner();
            std::printf("Error: Unknown argument: %s\n", arguments[i]);
            result = 1;
        } else if (positional_count == 0) {
            host_address = arguments[i];
            positional_count = 1;
        } else if (positional_count == 1) {
            positional_count = 2;
            // The name lives in a 512-byte text everywhere it is shown or typed again.
            if (argument.size() > max_name_length) {
                print_full_banner();
                std::printf("Error: File names are limited to %zu characters\n", max_name_length);
                result = 1;
            } else {
                output_name = argument;
                output_name_given = 1;
            }
        } else {
            print_full_banner();
            std::printf("Error: filename has already been specified\n");
            result = 1;
        }
    }
    return result;
}
