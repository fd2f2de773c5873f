#include "receiver_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <ctime>

#include "console.h"
#include "interrupts.h"
#include "network.h"
#include "receiver_state.h"
#include "socket_layer.h"

namespace {

constexpr int connection_refused = 10061;
constexpr int host_unreachable = 10065;

// Waits about one second in short steps, so that an interrupt ends the wait early.
void pause_before_retry() {
    constexpr int steps = 20;
    const timespec step{0, 1000000000L / steps};
    for (int i = 0; i < steps && cancel_requested == 0; ++i) {
        nanosleep(&step, nullptr);
    }
}

}  // namespace

int connect_to_sender(const char* address_text) {
    int retry_count = 0;
    for (;;) {
        if (cancel_requested != 0) {
            return 1;
        }
        data_socket = tcp_socket();
        if (data_socket == -1) {
            const int code = last_socket_error();
            std::printf("Error: Could not create a TCP/IP socket\n");
            std::printf("Error: Socket returned error: %s\n", socket_error_text(code));
            return 1;
        }
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        destination.sin_port = htons(tcp_port);
        destination.sin_addr.s_addr = destination_address;
        if (socket_connect(data_socket, destination) != -1) {
            // Only a safety net: without it a vanished sender leaves the receiver waiting.
            socket_watch_peer(data_socket);
            clear_status_line();
            std::printf("Received a connection from host %s\n", address_text);
            std::fflush(stdout);
            return 0;
        }
        const int code = last_socket_error();
        if (cancel_requested != 0) {
            return 1;
        }
        if (code != connection_refused && code != host_unreachable) {
            std::printf("Error: Could not connect to host - %s\n", socket_error_text(code));
            return 1;
        }
        if (ask_abort() == 1) {
            std::printf("\n");
            std::printf("Error: recv was aborted\n");
            return 1;
        }
        ++retry_count;
        std::printf("Error: Could not connect to host - %s, Retry %d\r", socket_error_text(code),
                    retry_count);
        std::fflush(stdout);
        socket_close(data_socket);
        data_socket = -1;
        pause_before_retry();
    }
}
