#include "socket_layer.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include "interrupts.h"
#include "loopback_peer.h"

namespace {

using std::chrono::steady_clock;
using wiretest::fd_guard;
using wiretest::loopback_address;

// A listener on a port the system picks, a client connected to it and the accepted end.
// Receives give up after 5 s, so a test that goes wrong fails instead of hanging.
struct connected_pair {
    fd_guard listener{tcp_socket()};
    fd_guard client{tcp_socket()};
    fd_guard accepted{-1};
    int port = 0;
    sockaddr_in peer{};

    connected_pair() {
        if (socket_bind(listener.fd, loopback_address(0)) != 0 ||
            socket_listen(listener.fd, 1) != 0) {
            return;
        }
        port = wiretest::bound_port(listener.fd);
        if (socket_connect(client.fd, loopback_address(port)) == 0) {
            accepted.fd = socket_accept(listener.fd, &peer);
        }
        const timeval limit{5, 0};
        setsockopt(client.fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
};

// Sends signal_number to thread every 5 ms until done is set (at most 5 s): the first
// signal may land before the call under test blocks.
std::thread interrupt_until(pthread_t thread, int signal_number, const std::atomic<bool>& done) {
    return std::thread([thread, signal_number, &done] {
        const auto deadline = steady_clock::now() + std::chrono::seconds(5);
        while (!done && steady_clock::now() < deadline) {
            pthread_kill(thread, signal_number);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

TEST(SocketErrorForErrno, WindowsNumbersWithoutCollisions) {
    EXPECT_EQ(socket_error_for_errno(ECONNREFUSED), 10061);
    EXPECT_EQ(socket_error_for_errno(EPIPE), 10054);
    EXPECT_EQ(socket_error_for_errno(ECONNRESET), 10054);
    EXPECT_EQ(socket_error_for_errno(EADDRINUSE), 10048);
    EXPECT_EQ(socket_error_for_errno(EINPROGRESS), 10035);
    EXPECT_EQ(socket_error_for_errno(EPROTO), -EPROTO);
    // Linux numbers are not the BSD ones (10000 + ECONNREFUSED would be 10111): every
    // errno lands in the Windows range it means, or below zero.
    for (int error_number = 1; error_number < 134; ++error_number) {
        const int code = socket_error_for_errno(error_number);
        EXPECT_TRUE(code < 0 || (code >= 10004 && code <= 10071)) << error_number;
    }
}

TEST(SocketConnect, PortZeroIsAnAddressError) {
    const fd_guard client(tcp_socket());
    EXPECT_EQ(socket_connect(client.fd, loopback_address(0)), -1);
    EXPECT_EQ(last_socket_error(), 10049);
}

TEST(SocketAccept, StoresThePeerAndWouldBlockWhenNobodyWaits) {
    connected_pair pair;
    ASSERT_GE(pair.accepted.fd, 0);
    EXPECT_STREQ(inet_ntoa(pair.peer.sin_addr), "127.0.0.1");
    ASSERT_EQ(socket_set_mode(pair.listener.fd, 1), 0);
    EXPECT_EQ(socket_accept(pair.listener.fd, &pair.peer), -1);
    EXPECT_EQ(last_socket_error(), 10035);
}

TEST(SocketSend, ClosedPeerGivesConnectionResetWithoutSigpipe) {
    // The default action would end this test process if a send raised SIGPIPE.
    std::signal(SIGPIPE, SIG_DFL);
    connected_pair pair;
    ASSERT_GE(pair.accepted.fd, 0);
    close(pair.accepted.fd);
    pair.accepted.fd = -1;

    const char block[512] = {};
    int result = 0;
    const auto deadline = steady_clock::now() + std::chrono::seconds(5);
    while (result >= 0 && steady_clock::now() < deadline) {
        result = socket_send(pair.client.fd, block, sizeof block);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(last_socket_error(), 10054);
    EXPECT_EQ(socket_send(pair.client.fd, block, -1), -1);
    EXPECT_EQ(last_socket_error(), 10022);
}

void ignore_signal(int /*signal_number*/) {}

// SIGUSR1 interrupts a blocked call without SA_RESTART, so the call sees EINTR; SIGINT sets
// cancel_requested.
void install_test_handlers() {
    struct sigaction quiet {};
    quiet.sa_handler = ignore_signal;
    sigemptyset(&quiet.sa_mask);
    sigaction(SIGUSR1, &quiet, nullptr);
    install_signal_handlers();
    cancel_requested = 0;
}

void restore_default_handlers() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGUSR1, SIG_DFL);
    cancel_requested = 0;
}

TEST(SocketRecv, SignalIsRetriedUnlessCancelled) {
    install_test_handlers();
    connected_pair pair;
    ASSERT_GE(pair.accepted.fd, 0);

    std::atomic<bool> done{false};
    std::thread interrupter = interrupt_until(pthread_self(), SIGUSR1, done);
    std::thread data_sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        send(pair.accepted.fd, "x", 1, MSG_NOSIGNAL);
    });
    char received = 0;
    const int count = socket_recv(pair.client.fd, &received, 1);
    done = true;
    interrupter.join();
    data_sender.join();
    EXPECT_EQ(count, 1) << last_socket_error();
    EXPECT_EQ(received, 'x');

    done = false;
    interrupter = interrupt_until(pthread_self(), SIGINT, done);
    const int cancelled = socket_recv(pair.client.fd, &received, 1);
    const int error = last_socket_error();
    done = true;
    interrupter.join();
    restore_default_handlers();
    EXPECT_EQ(cancelled, -1);
    EXPECT_EQ(error, 10004);
}

TEST(SocketConnect, SignalWaitsForTheOutcomeUnlessCancelled) {
    install_test_handlers();
    // With backlog 0 one waiting connection fills the queue, so the next connect blocks
    // while the listener drops its SYNs.
    connected_pair pair;
    ASSERT_GE(pair.accepted.fd, 0);
    ASSERT_EQ(socket_listen(pair.listener.fd, 0), 0);
    const fd_guard queued(tcp_socket());
    ASSERT_EQ(socket_connect(queued.fd, loopback_address(pair.port)), 0);

    std::atomic<bool> done{false};
    std::thread interrupter = interrupt_until(pthread_self(), SIGINT, done);
    {
        // Closed at once, so its retransmitted SYN cannot take the room made below.
        const fd_guard cancelled(tcp_socket());
        EXPECT_EQ(socket_connect(cancelled.fd, loopback_address(pair.port)), -1);
        EXPECT_EQ(last_socket_error(), 10004);
    }
    done = true;
    interrupter.join();
    cancel_requested = 0;

    // Other signals leave the connect running; room in the queue lets the SYN's
    // retransmission through.
    done = false;
    interrupter = interrupt_until(pthread_self(), SIGUSR1, done);
    std::thread make_room([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const fd_guard taken(socket_accept(pair.listener.fd, nullptr));
    });
    const fd_guard completed(tcp_socket());
    EXPECT_EQ(socket_connect(completed.fd, loopback_address(pair.port)), 0) << last_socket_error();
    done = true;
    interrupter.join();
    make_room.join();
    restore_default_handlers();
}

}  // namespace
