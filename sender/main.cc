#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "banner.h"
#include "buffer_sizes.h"
#include "closing_lines.h"
#include "console.h"
#include "file_list.h"
#include "file_transmission.h"
#include "generated_data.h"
#include "interrupts.h"
#include "network.h"
#include "sender_connection.h"
#include "sender_options.h"
#include "sender_state.h"
#include "socket_layer.h"
#include "standard_streams.h"
#include "stream_digest.h"

namespace {

void close_file(int* file_fd) {
    if (*file_fd != -1) {
        close(*file_fd);
        *file_fd = -1;
    }
}

void close_socket(int* socket_fd) {
    if (*socket_fd != invalid_socket) {
        socket_close(*socket_fd);
        *socket_fd = invalid_socket;
    }
}

// Returns 0 when there is something to send: "-" or "-config" was given, or the first file
// exists. Otherwise returns 1 after printing why not; later files are looked at in turn.
int check_command_line() {
    if (no_file_flag != 0 || config_flag != 0) {
        return 0;
    }
    if (file_list.empty()) {
        print_usage();
        std::printf("\nError: missing filename\n");
        return 1;
    }
    return check_file_exists(file_list.front().c_str());
}

// The connection is made: the totals and the clocks of the run start here.
void start_transfer_clock() {
    start_time = std::time(nullptr);
    last_progress_time = start_time;
    total_bytes_sent = 0;
    data_checksum = 0;
}

// Sends the files of file_list in order, releasing each entry once its file is sent.
// Returns 0 when every file went out, 1 when the loop stopped early.
int send_all_files() {
    while (!file_list.empty()) {
        if (cancel_requested != 0) {
            return 1;
        }
        if (send_file(file_list.front().c_str()) != 0) {
            return 1;
        }
        file_list.pop_front();
    }
    return 0;
}

// Runs the transfer the command line asked for. Returns 0 when it ran to its end; 1 when the
// file loop stopped early, so that a partial transfer never counts as success, at either end.
int run_transfer() {
    if (no_file_flag != 0 && test_flag != 0) {
        run_send_test_sweep();
        return 0;
    }
    if (no_file_flag != 0) {
        send_generated_data();
        return 0;
    }
    const int status = send_all_files();
    // Without framing, the end of the stream is the only sign of a complete copy: an early
    // stop must not end it the same way.
    if (status != 0) {
        socket_reset_on_close(data_socket);
    }
    print_totals();
    return status;
}

// The ordinary way out: closes what is open, releases the network and the list.
// Returns status for main to exit with.
int finish_run(int status) {
    close_file(&current_file);
    close_socket(&listen_socket);
    close_socket(&data_socket);
    stop_network();
    free_file_list();
    end_digest(&stream_digest);
    return status;
}

// The way out after SIGINT or SIGTERM. Returns the exit status 1.
int abort_run() {
    std::printf("\nAborting connection ... \n");
    return finish_run(1);
}

}  // namespace

// The sender state starts out as a run needs it: no file, no socket, no list, no sizes.
int main(int argc, char** argv) {
    prepare_standard_streams();
    install_signal_handlers();
    open_console();

    if (parse_options(argc, argv) != 0) {
        free_file_list();
        return 1;
    }
    print_banner(quiet_flag, version_major, version_minor, build_date_text);
    if (check_command_line() != 0) {
        free_file_list();
        return 1;
    }
    if (sha256_flag != 0 && start_digest(&stream_digest) != 0) {
        free_file_list();
        return 1;
    }
    std::printf("Initializing TCP/IP Protocol Stack\n");
    start_network();
    show_local_address();
    apply_buffer_sizes();
    if (config_flag != 0) {
        return finish_run(1);
    }
    if (wait_for_receiver() != 0) {
        return cancel_requested != 0 ? abort_run() : finish_run(1);
    }
    start_transfer_clock();
    const int status = run_transfer();
    if (cancel_requested != 0) {
        return abort_run();
    }
    return finish_run(status);
}
