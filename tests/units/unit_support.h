#pragma once

// What the unit tests share: the text a procedure prints, and a socket pair whose reader
// gives up after 5 s, so that a test that goes wrong fails instead of hanging.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace units {

// Runs action and returns what it printed on standard output; standard error is dropped.
template <typename Action>
std::string printed(Action action) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    action();
    std::fflush(stdout);
    testing::internal::GetCapturedStderr();
    return testing::internal::GetCapturedStdout();
}

// A connected stream pair: [0] sends, with send_buffer bytes of room when given; a thread
// may drain [1], whose receives give up after 5 s.
struct drained_pair {
    explicit drained_pair(int send_buffer = 0) {
        socketpair(AF_UNIX, SOCK_STREAM, 0, ends.data());
        const timeval limit{5, 0};
        setsockopt(ends[1], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (send_buffer > 0) {
            setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &send_buffer, sizeof send_buffer);
        }
    }
    // Reads to the end into received, pausing often so that the sender keeps blocking; runs
    // on_trigger once trigger_at bytes have come (at once for 0).
    void start_reading(std::size_t trigger_at = SIZE_MAX, std::function<void()> on_trigger = {}) {
        reader = std::thread([this, trigger_at, on_trigger]() mutable {
            // A timer's signal is for the sending thread.
            sigset_t timer_signal;
            sigemptyset(&timer_signal);
            sigaddset(&timer_signal, SIGALRM);
            pthread_sigmask(SIG_BLOCK, &timer_signal, nullptr);
            std::array<char, 2048> chunk{};
            ssize_t got = 0;
            do {
                received.append(chunk.data(), static_cast<std::size_t>(got));
                if (received.size() >= trigger_at && on_trigger) {
                    std::exchange(on_trigger, nullptr)();
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            } while ((got = recv(ends[1], chunk.data(), chunk.size(), 0)) > 0);
        });
    }
    // Ends the stream and waits until the reader has taken all of it.
    void finish_reading() {
        shutdown(ends[0], SHUT_WR);
        if (reader.joinable()) {
            reader.join();
        }
    }
    ~drained_pair() {
        finish_reading();
        close(ends[0]);
        close(ends[1]);
    }
    std::array<int, 2> ends{-1, -1};
    std::string received;
    std::thread reader;
};

}  // namespace units
