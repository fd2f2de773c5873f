#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "banner.h"
#include "console.h"
#include "interrupts.h"
#include "network.h"
#include "output_file.h"
#include "piece_manifest.h"
#include "piece_naming.h"
#include "receiver_connection.h"
#include "receiver_options.h"
#include "receiver_state.h"
#include "reception.h"
#include "socket_layer.h"
#include "standard_streams.h"
#include "stream_check.h"

namespace {

// Prints the refusal of the sender's address and returns 1.
int report_invalid_destination() {
    std::printf("\n");
    std::printf("Error: Invalid destination TCP/IP address\n");
    print_usage();
    return 1;
}

// Checks the sender's address and, unless "-" was given, the output name, then looks up
// the address (a host name when it is not in dotted-decimal form) into destination_address.
// Returns 1 after the message of the first one missing or refused.
int check_arguments() {
    if (host_address == nullptr) {
        std::printf("Error: ip_addr must be specified\n");
        return 1;
    }
    if (inet_addr(host_address) == 0) {
        return report_invalid_destination();
    }
    if (no_file_flag == 0 && output_name_given == 0) {
        std::printf("Error: filename must be specified\n");
        return 1;
    }
    // Dotted-decimal first, so that "255.255.255.255" stays an address.
    in_addr destination{};
    if (inet_aton(host_address, &destination) == 0 &&
        resolve_host_name(host_address, &destination) != 0) {
        return report_invalid_destination();
    }
    if (destination.s_addr == 0) {
        return report_invalid_destination();
    }
    destination_address = destination.s_addr;
    return 0;
}

// Creates the first output file into output_fd. Returns 1 after its two error lines.
int create_first_file(int& output_fd) {
    if (autoname_flag != 0) {
        std::printf("Creating file: \"%s\"\n", output_name.c_str());
    }
    if (standard_output_sink != -1) {
        output_fd = standard_output_sink;
        standard_output_sink = -1;
        return 0;
    }
    output_fd = create_output_file(output_name.c_str());
    if (output_fd == -1) {
        const int error_number = errno;
        std::printf("Error: Could not create file: %s\n", output_name.c_str());
        std::printf("       %s\n", std::strerror(error_number));
        return 1;
    }
    remember_written_piece(output_fd);
    return 0;
}

// Closes the output file (deleting it when delete_output is set and it is a regular file
// of ours holding a piece still in progress: a complete piece is never deleted) and the
// connection, releases the socket layer and returns status.
int close_run(int& output_fd, bool delete_output, int status) {
    if (standard_output_sink != -1) {
        close(standard_output_sink);
        standard_output_sink = -1;
    }
    if (output_fd != -1) {
        const bool deletable = delete_output && !piece_is_complete() &&
                               is_deletable_output(output_name.c_str(), output_fd);
        close(output_fd);
        output_fd = -1;
        if (deletable) {
            unlink(output_name.c_str());
        }
    }
    if (data_socket != -1) {
        socket_close(data_socket);
        data_socket = -1;
    }
    stop_network();
    release_digests();
    std::fflush(stdout);
    return status;
}

// The end after SIGINT or SIGTERM. Whatever arrived stays in the file; a file that never
// had a connection to fill it is deleted.
int close_interrupted_run(int& output_fd, bool delete_output) {
    std::printf("\nAborting connection ... \n");
    return close_run(output_fd, delete_output, 1);
}

}  // namespace

int main(int argument_count, char** arguments) {
    prepare_standard_streams();
    install_signal_handlers();
    open_console();
    int output_fd = -1;
    data_socket = -1;

    const int parse_result = parse_options(argument_count, arguments);
    if (parse_result == usage_shown) {
        return 0;
    }
    if (parse_result != 0) {
        return 1;
    }
    if (no_file_flag == 0 && output_name_given != 0) {
        standard_output_sink = take_standard_output_for_data(output_name.c_str());
    }
    print_banner(quiet_flag, version_major, version_minor, build_date_text);
    std::printf("Initializing TCP/IP Protocol Stack\n");
    start_network();
    show_local_address();
    if (config_flag != 0) {
        return close_run(output_fd, false, 1);
    }
    if (check_arguments() != 0 || start_receiver_digests() != 0) {
        return close_run(output_fd, false, 1);
    }
    if (no_file_flag == 0) {
        if (autoname_flag != 0 && make_first_auto_name(output_name) != 0) {
            return close_run(output_fd, false, 1);
        }
        if (create_first_file(output_fd) != 0) {
            return close_run(output_fd, false, 1);
        }
    }

    // A connection that is not made leaves no empty file behind.
    if (connect_to_sender(host_address) != 0) {
        if (cancel_requested != 0) {
            return close_interrupted_run(output_fd, true);
        }
        return close_run(output_fd, true, 1);
    }
    if (receive_stream(output_fd) == 0) {
        record_finished_piece();
        return close_run(output_fd, false, digest_exit_status());
    }
    if (cancel_requested != 0) {
        return close_interrupted_run(output_fd, false);
    }
    return close_run(output_fd, true, 1);
}
