#include "sender_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>

#include <array>
#include <cstdint>
#include <cstdio>

#include "closing_lines.h"
#include "console.h"
#include "interrupts.h"
#include "network.h"
#include "sender_state.h"
#include "socket_layer.h"

namespace {

constexpr int address_in_use = 10048;
constexpr int access_denied = 10013;
constexpr std::uint16_t first_unprivileged_port = 1024;
// The longest a key press waits to be noticed while nobody connects.
constexpr int keyboard_check_ms = 50;

constexpr const char* waiting_text = "Waiting for connection [ESC to abort] ... ";

// Sleeps until a connection or a key may be waiting, a signal arrives, or the keyboard check
// is due, so that the wait costs no processor time. A terminal that has hung up keeps
// reporting an event; it is left out from then on so that the wait cannot spin.
void wait_for_event(bool* watch_console) {
    std::array<pollfd, 2> watched{};
    watched[0] = pollfd{listen_socket, POLLIN, 0};
    nfds_t count = 1;
    const int console_fd = *watch_console ? console_input_fd() : -1;
    if (console_fd != -1) {
        watched[1] = pollfd{console_fd, POLLIN, 0};
        count = 2;
    }
    if (poll(watched.data(), count, keyboard_check_ms) > 0 && count == 2 &&
        (watched[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        *watch_console = false;
    }
}

}  // namespace

int set_nonblocking(int socket_fd, unsigned int mode) {
    if (socket_set_mode(socket_fd, mode) != 0) {
        std::printf("Error: ioctlsocket failed: %s\n", socket_error_text(last_socket_error()));
        return 1;
    }
    return 0;
}

int wait_for_receiver() {
    listen_socket = invalid_socket;
    data_socket = invalid_socket;

    listen_socket = tcp_socket();
    if (listen_socket == invalid_socket) {
        std::printf("Error: Socket returned error: %s\n", socket_error_text(last_socket_error()));
        return 1;
    }

    sockaddr_in local_address{};
    local_address.sin_family = AF_INET;
    local_address.sin_port = htons(tcp_port);
    local_address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (socket_bind(listen_socket, local_address) != 0) {
        const int error_code = last_socket_error();
        std::printf("Error: bind failed: %s\n", socket_error_text(error_code));
        if (error_code == address_in_use) {
            std::printf("TCP/IP Port %d\n", static_cast<int>(ntohs(local_address.sin_port)));
        }
        if (error_code == access_denied && tcp_port < first_unprivileged_port) {
            std::printf(
                "Notice: ports below 1024 need root or CAP_NET_BIND_SERVICE; choose "
                "another with -port=N\n");
        }
        return 1;
    }

    std::printf("%s", waiting_text);
    std::fflush(stdout);

    if (socket_listen(listen_socket, 1) != 0) {
        const char* error_text = socket_error_text(last_socket_error());
        clear_status_line();
        std::printf("Error: listen failed: %s\n", error_text);
        return 1;
    }
    if (set_nonblocking(listen_socket, 1) != 0) {
        return 1;
    }

    sockaddr_in peer{};
    int error_code = 0;
    bool watch_console = true;
    for (;;) {
        if (cancel_requested != 0) {
            return 1;
        }
        if (key_pending()) {
            if (ask_abort() == 1) {
                print_abort_notice();
                return 1;
            }
            std::printf("\r%s", waiting_text);
            std::fflush(stdout);
        }
        data_socket = socket_accept(listen_socket, &peer);
        error_code = data_socket == invalid_socket ? last_socket_error() : 0;
        if (data_socket != invalid_socket || error_code != wsa_would_block) {
            break;
        }
        wait_for_event(&watch_console);
    }
    if (data_socket == invalid_socket) {
        if (cancel_requested != 0) {
            return 1;
        }
        const char* error_text = socket_error_text(error_code);
        clear_status_line();
        std::printf("Error: accept failed: %s\n", error_text);
        return 1;
    }

    socket_close(listen_socket);
    listen_socket = invalid_socket;
    if (cancel_requested != 0) {
        return 1;
    }

    std::printf("\rReceived connection from %s on port %u\n", inet_ntoa(peer.sin_addr),
                static_cast<unsigned int>(ntohs(peer.sin_port)));
    // The accepted socket does not take the listener's mode on every system: say it outright.
    if (set_nonblocking(data_socket, 0) != 0) {
        return 1;
    }
    // Only a safety net: without it a vanished receiver is still noticed, just much later.
    socket_watch_peer(data_socket);
    std::printf("\n");
    std::fflush(stdout);
    return 0;
}
