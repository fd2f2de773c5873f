#include "socket_layer.h"

#include <arpa/inet.h>
#include <pthread.h>

#include "interrupts.h"
#include "unit_support.h"

namespace {

using namespace std::chrono_literals;

constexpr int interrupted = 10004;

// Sends signal_number to this thread every 5 ms while call runs (the first may come before
// it blocks), and returns its result.
template <typename Call>
int interrupted_by(int signal_number, Call call) {
    const std::jthread signaller(
        [signal_number, target = pthread_self()](const std::stop_token& stop) {
            for (int round = 0; !stop.stop_requested() && round < 1000; ++round) {
                pthread_kill(target, signal_number);
                std::this_thread::sleep_for(5ms);
            }
        });
    return call();
}

// SIGUSR1 interrupts a blocked call (no SA_RESTART) without asking to stop; SIGINT asks.
void install_test_handlers() {
    struct sigaction quiet {};
    quiet.sa_handler = [](int) {};
    sigaction(SIGUSR1, &quiet, nullptr);
    install_signal_handlers();
    cancel_requested = 0;
}

// A listener on 127.0.0.1 and a port the system picks: the address to connect to.
sockaddr_in listen_on_loopback(int listener, int backlog) {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    EXPECT_EQ(socket_bind(listener, address), 0);
    EXPECT_EQ(socket_listen(listener, backlog), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    return address;
}

// The sender's wait polls accept, where nobody yet must not read as an error; port 0 can
// never be connected to, where the receiver would retry for ever.
TEST(SocketLayer, AcceptWithNobodyWaitingWouldBlockAndPortZeroIsRefused) {
    const int listener = tcp_socket();
    sockaddr_in address = listen_on_loopback(listener, 1);
    ASSERT_EQ(socket_set_mode(listener, 1), 0);
    EXPECT_EQ(socket_accept(listener, nullptr), -1);
    EXPECT_EQ(last_socket_error(), wsa_would_block);
    address.sin_port = 0;
    EXPECT_EQ(socket_connect(listener, address), -1);
    EXPECT_EQ(last_socket_error(), 10049);
    close(listener);
}

TEST(SocketLayer, SendToAClosedPeerIsAResetWithoutSigpipe) {
    // SIGPIPE's default action would end this process.
    std::signal(SIGPIPE, SIG_DFL);
    const units::drained_pair pair;
    shutdown(pair.ends[1], SHUT_RD);
    EXPECT_EQ(socket_send(pair.ends[0], "x", 1), -1);
    EXPECT_EQ(last_socket_error(), 10054);
}

TEST(SocketLayer, SignalInRecvIsRetriedUnlessCancelled) {
    install_test_handlers();
    const units::drained_pair pair;
    const auto& ends = pair.ends;
    std::thread late_byte([&] {
        std::this_thread::sleep_for(100ms);
        send(ends[0], "x", 1, 0);
    });
    char received = 0;
    EXPECT_EQ(interrupted_by(SIGUSR1, [&] { return socket_recv(ends[1], &received, 1); }), 1);
    late_byte.join();
    EXPECT_EQ(received, 'x');
    EXPECT_EQ(interrupted_by(SIGINT, [&] { return socket_recv(ends[1], &received, 1); }), -1);
    EXPECT_EQ(last_socket_error(), interrupted);
}

TEST(SocketLayer, SignalInConnectWaitsForTheOutcomeUnlessCancelled) {
    install_test_handlers();
    // With backlog 0 one waiting connection fills the queue, so the next connect blocks
    // while the listener drops its SYNs.
    const int listener = tcp_socket();
    const sockaddr_in address = listen_on_loopback(listener, 0);
    const int queued = tcp_socket();
    ASSERT_EQ(socket_connect(queued, address), 0);
    const int cancelled = tcp_socket();
    EXPECT_EQ(interrupted_by(SIGINT, [&] { return socket_connect(cancelled, address); }), -1);
    EXPECT_EQ(last_socket_error(), interrupted);
    // Closed at once, so that its retransmitted SYN cannot take the room made below.
    close(cancelled);
    cancel_requested = 0;
    std::thread make_room([&] {
        std::this_thread::sleep_for(100ms);
        close(accept(listener, nullptr, nullptr));
    });
    const int completed = tcp_socket();
    EXPECT_EQ(interrupted_by(SIGUSR1, [&] { return socket_connect(completed, address); }), 0);
    make_room.join();
    for (const int fd : {listener, queued, completed}) {
        close(fd);
    }
}

}  // namespace
