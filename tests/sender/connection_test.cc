// pitchwire's listening side: one receiver per run, a busy port, and a port that is free
// again as soon as a run ends.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "program_runner.h"
#include "sender_test_support.h"

namespace {

using sendertest::normalized;
using wiretest::finish_program;

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

TEST(SenderConnection, PortWithALiveListenerCannotBeBound) {
    const int port = wiretest::free_port();
    const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_NE(holder, -1);
    const int on = 1;
    // Even a listener that allows address re-use keeps a second one off its port.
    setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback(port);
    ASSERT_EQ(bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder, 1), 0);

    const std::string dir = wiretest::make_temp_dir();
    wiretest::write_file(dir + "/file", "x");
    const auto result = wiretest::run_program(
        wiretest::pitchwire_path(), {"-quiet", "-port=" + std::to_string(port), dir + "/file"});
    close(holder);
    EXPECT_EQ(normalized(result.out), sendertest::quiet_banner +
                                          "Initializing TCP/IP Protocol Stack\n" +
                                          "Local TCP/IP address: A\n" +
                                          "Error: bind failed: TCP/IP Address is already in use\n" +
                                          "TCP/IP Port " + std::to_string(port) + "\n");
    EXPECT_EQ(result.exit_status, 1);
}

TEST(SenderConnection, SecondReceiverIsRefusedAndThePortIsFreeAfterTheRun) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string bytes = wiretest::random_bytes(50000, 21);
    wiretest::write_file(dir + "/file", bytes);

    wiretest::run_options keep_input_open;
    keep_input_open.stdin_open = true;
    auto first_run = sendertest::start_sender(dir, {"-pause", "file"}, keep_input_open);
    ASSERT_NE(first_run.program.pid, -1);
    const int client = sendertest::connect_client(first_run.port);
    ASSERT_NE(client, -1);
    // The prompt shows that the connection was accepted and the listener closed.
    ASSERT_TRUE(wiretest::wait_for_output(first_run.program, "to quit: "));
    const int second = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(first_run.port);
    EXPECT_NE(connect(second, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(errno, ECONNREFUSED);
    close(second);
    wiretest::write_stdin(first_run.program, "\n");
    EXPECT_TRUE(sendertest::read_to_end(client) == bytes);
    EXPECT_EQ(finish_program(first_run.program).exit_status, 0);

    // The sender closed first, so its end of the connection waits in TIME_WAIT; a new
    // sender on the same port must still start at once.
    wiretest::run_options options;
    options.working_directory = dir;
    auto second_run = wiretest::start_program(
        wiretest::pitchwire_path(), {"-quiet", "-port=" + std::to_string(first_run.port), "file"},
        options);
    ASSERT_TRUE(wiretest::wait_for_output(second_run, "Waiting for connection")) << second_run.out;
    const int second_client = sendertest::connect_client(first_run.port);
    ASSERT_NE(second_client, -1);
    EXPECT_TRUE(sendertest::read_to_end(second_client) == bytes);
    EXPECT_EQ(finish_program(second_run).exit_status, 0);
}

}  // namespace
