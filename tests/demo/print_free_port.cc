// Prints a TCP port on 127.0.0.1 that is free at this moment, for the loopback demo.
// Exits with status 1 when no port can be had.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

int main() {
    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // Port 0 lets the kernel choose one that nothing uses.
    if (probe < 0 || bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("print_free_port");
        return 1;
    }
    close(probe);
    std::printf("%u\n", static_cast<unsigned>(ntohs(address.sin_port)));
    return 0;
}
