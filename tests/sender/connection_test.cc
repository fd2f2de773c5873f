// pitchwire's listening side: one receiver per run, a busy port, and a port that is free
// again as soon as a run ends.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "sender_test_support.h"

namespace {

using namespace wiretest;

TEST(SenderConnection, PortWithALiveListenerCannotBeBound) {
    // Even a listener that allows address re-use keeps a second one off its port.
    const fd_guard holder(listen_loopback());
    ASSERT_NE(holder.fd, -1);
    const std::string port = std::to_string(bound_port(holder.fd));
    const std::string file = write_file(make_temp_dir() + "/file", "x");
    const auto result = run_program(pitchwire_path(), {"-quiet", "-port=" + port, file});
    EXPECT_EQ(sendertest::normalized(result.out),
              sendertest::quiet_banner + "Initializing TCP/IP Protocol Stack\n" +
                  "Local TCP/IP address: A\n" +
                  "Error: bind failed: TCP/IP Address is already in use\nTCP/IP Port " + port +
                  "\n");
    EXPECT_EQ(result.exit_status, 1);
}

TEST(SenderConnection, SecondReceiverIsRefusedAndThePortIsFreeAfterTheRun) {
    const std::string dir = make_temp_dir();
    const std::string bytes = random_bytes(50000, 21);
    write_file(dir + "/file", bytes);

    run_options keep_input_open;
    keep_input_open.stdin_open = true;
    auto first_run = sendertest::start_sender(dir, {"-pause", "file"}, keep_input_open);
    const program_guard first_guard(first_run.program);
    const fd_guard client(connect_within(first_run.port));
    ASSERT_NE(client.fd, -1);
    // The prompt shows that the connection was accepted and the listener closed.
    ASSERT_TRUE(wait_for_output(first_run.program, "to quit: "));
    EXPECT_EQ(fd_guard(connect_within(first_run.port, 0)).fd, -1);
    write_stdin(first_run.program, "\n");
    EXPECT_TRUE(read_to_end(client.fd) == bytes);
    EXPECT_EQ(finish_program(first_run.program).exit_status, 0);

    // The sender closed first, so its end of the connection waits in TIME_WAIT; a new
    // sender on the same port must still start at once.
    auto second_run = sendertest::start_sender(dir, {"file"}, {}, first_run.port);
    const program_guard second_guard(second_run.program);
    ASSERT_NE(second_run.program.pid, -1) << second_run.program.out;
    const fd_guard second_client(connect_within(first_run.port));
    EXPECT_TRUE(read_to_end(second_client.fd) == bytes);
    EXPECT_EQ(finish_program(second_run.program).exit_status, 0);
}

// Run as nobody, the sender cannot bind a port below the first unprivileged one, and says
// what such a port needs.
TEST(SenderConnection, PrivilegedPortSaysWhatItNeeds) {
    const int first_unprivileged =
        std::atoi(read_file("/proc/sys/net/ipv4/ip_unprivileged_port_start").c_str());
    if (geteuid() != 0 || first_unprivileged < 2 ||
        run_program("/bin/sh", {"-c", "command -v setpriv"}).exit_status != 0) {
        GTEST_SKIP() << "needs root, setpriv and ports that only root may bind";
    }
    const std::string port = std::to_string(std::min(first_unprivileged, 1024) - 1);
    const auto result = run_program(
        "/bin/sh", {"-c", "exec setpriv --reuid=65534 --regid=65534 --clear-groups \"$@\"", "sh",
                    pitchwire_path(), "-quiet", "-port=" + port, "/dev/null"});
    EXPECT_NE(result.out.find("\nError: bind failed: TCP/IP error 10013\n"
                              "Notice: ports below 1024 need root or CAP_NET_BIND_SERVICE; choose "
                              "another with -port=N\n"),
              std::string::npos)
        << result.out << result.err;
    EXPECT_EQ(result.exit_status, 1);
}

}  // namespace
