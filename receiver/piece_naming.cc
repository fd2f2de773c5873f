#include "piece_naming.h"

#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "answer_input.h"
#include "output_file.h"
#include "piece_manifest.h"
#include "receiver_state.h"

namespace {

// Reads the operator's name for the next piece into next_name. Returns 1 for "Q" (either
// case) and at the end of input; empty and refused answers, and the name of a piece already
// written, ask again.
int ask_piece_name() {
    for (;;) {
        std::printf("Enter new filename [Q]: ");
        std::fflush(stdout);
        const int result = read_answer_line(typed_name.data());
        if (result == 1) {
            return 1;
        }
        const std::string_view answer = typed_name.data();
        if (result == 2 || answer.empty()) {
            continue;
        }
        if (answer == "Q" || answer == "q") {
            return 1;
        }
        // Creating it again would truncate a piece that is already complete.
        if (is_written_piece(typed_name.data())) {
            std::printf("Error: %s is a piece already written in this run\n", typed_name.data());
            continue;
        }
        next_name = answer;
        return 0;
    }
}

// Prints the three lines of a piece that could not be created, for error_number.
void report_create_failure(int error_number) {
    std::printf("\n");
    std::printf("Error: Could not create file: %s\n", next_name.c_str());
    std::printf("Error: %s\n", std::strerror(error_number));
}

}  // namespace

std::size_t extension_start(std::string_view path) {
    std::size_t component_start = 0;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) != 0 &&
        path[1] == ':') {
        component_start = 2;
    }
    const std::size_t last_separator = path.find_last_of("/\\");
    if (last_separator != std::string_view::npos && last_separator >= component_start) {
        component_start = last_separator + 1;
    }
    const std::string_view component = path.substr(component_start);
    const std::size_t dot = component.rfind('.');
    if (dot == std::string_view::npos || component == "." || component == "..") {
        return path.size();
    }
    return component_start + dot;
}

std::string next_auto_name(std::string_view current) {
    const std::size_t digits_start = current.size() - 3;
    int number = 0;
    for (char digit : current.substr(digits_start)) {
        number = number * 10 + (digit - '0');
    }
    std::array<char, 16> digits{};
    std::snprintf(digits.data(), digits.size(), "%3.3d", number + 1);
    return std::string(current.substr(0, digits_start)) + digits.data();
}

int make_first_auto_name(const std::string& name) {
    if (extension_start(name) != name.size()) {
        std::printf("\nError: Auto Naming is enabled and the file has an extension.\n");
        return 1;
    }
    std::string first_name = name + ".000";
    if (first_name.size() > max_name_length) {
        std::printf("Error: File names are limited to %zu characters\n", max_name_length);
        return 1;
    }
    output_name = std::move(first_name);
    return 0;
}

bool piece_is_complete() {
    return autosize_flag != 0 && piece_written >= piece_limit;
}

int open_next_piece(int& output_fd) {
    if (autoname_flag == 0) {
        std::printf("Reached the end of file %s\n", output_name.c_str());
    }
    for (;;) {
        if (autoname_flag != 0) {
            next_name = next_auto_name(output_name);
        } else if (ask_piece_name() != 0) {
            return 1;
        }
        std::printf("Creating file: \"%s\"\n", next_name.c_str());
        // A numbered name can outgrow the 511 characters every name is held to.
        int new_fd = -1;
        int error_number = ENAMETOOLONG;
        if (next_name.size() <= max_name_length) {
            new_fd = create_output_file(next_name.c_str());
            error_number = errno;
        }
        if (new_fd == -1) {
            report_create_failure(error_number);
            if (autoname_flag != 0) {
                return 1;
            }
            continue;
        }
        remember_written_piece(new_fd);
        close(output_fd);
        record_finished_piece();
        output_fd = new_fd;
        output_name = next_name;
        return 0;
    }
}
