// A peer that stops moving data: the program waits without burning a processor, and an
// interrupt still ends it at once, through the abort path, with its totals.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "fault_support.h"
#include "program_runner.h"

namespace {

using namespace wiretest;
using namespace faulttest;

constexpr int measure_ms = 2000;

// CPU seconds the process uses over the next measure_ms; a busy loop uses about 2.
double cpu_over_measure(pid_t pid) {
    const double before = cpu_seconds(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(measure_ms));
    const double after = cpu_seconds(pid);
    return before < 0 || after < 0 ? 1e9 : after - before;
}

// The texts appear in this order in text.
bool in_order(const std::string& text, std::initializer_list<std::string_view> parts) {
    std::size_t from = 0;
    for (std::string_view part : parts) {
        const std::size_t at = text.find(part, from);
        if (at == std::string::npos) {
            return false;
        }
        from = at + part.size();
    }
    return true;
}

std::string signal_label(int signal_number) {
    return signal_number == SIGINT ? "Sigint" : "Sigterm";
}

class StalledReceiver : public testing::TestWithParam<std::tuple<bool, int>> {};

// pitchwire sends (a file, or the generated pattern) to a peer that never reads.
TEST_P(StalledReceiver, SenderBlocksQuietlyAndAnInterruptEndsIt) {
    const auto [generated, signal_number] = GetParam();
    const std::string dir = make_temp_dir();
    const std::string source = dir + "/source.img";
    write_file(source, "");
    ASSERT_EQ(truncate(source.c_str(), 256LL << 20), 0);
    const int port = free_port();
    const std::string port_text = "-port=" + std::to_string(port);

    running_program sender =
        start_program(pitchwire_path(), generated ? std::vector<std::string>{port_text, "-"}
                                                  : std::vector<std::string>{port_text, source});
    program_guard sender_guard(sender);
    ASSERT_TRUE(wait_for_output(sender, "Waiting for connection"));
    const int peer = connect_within(port, 10000, 4096);
    ASSERT_GE(peer, 0);
    fd_guard peer_guard(peer);

    EXPECT_LT(cpu_over_measure(sender.pid), measure_ms / 1000.0 / 2) << "the sender spins";
    EXPECT_FALSE(wait_for_output(sender, "Successfully sent", 100)) << "the peer took it all?";
    kill(sender.pid, signal_number);

    const program_result ended = finish_program(sender, 5000);
    EXPECT_FALSE(ended.timed_out) << "the interrupt did not end the blocked send";
    EXPECT_EQ(ended.term_signal, 0);
    EXPECT_EQ(ended.exit_status, 1);
    EXPECT_TRUE(in_order(
        ended.out, {generated ? "Notice: send was aborted\n" : "\nNotice: send was aborted\n",
                    "Successfully sent ", "TCPIP Data Checksum: ", "\nAborting connection ... \n"}))
        << ended.out;
}

INSTANTIATE_TEST_SUITE_P(FileAndGenerated, StalledReceiver,
                         testing::Combine(testing::Bool(), testing::Values(SIGINT, SIGTERM)),
                         [](const testing::TestParamInfo<std::tuple<bool, int>>& info) {
                             return std::string(std::get<0>(info.param) ? "Generated" : "File") +
                                    signal_label(std::get<1>(info.param));
                         });

class SilentSender : public testing::TestWithParam<int> {};

// catchwire connected to a peer that sends nothing: it waits in recv without spinning,
// and an interrupt ends it, keeping the output file.
TEST_P(SilentSender, ReceiverWaitsQuietlyAndAnInterruptEndsIt) {
    const std::string dir = make_temp_dir();
    const std::string copy = dir + "/copy.img";
    const int port = free_port();
    const int listen_fd = listen_on_loopback(port);
    ASSERT_GE(listen_fd, 0);
    fd_guard listen_guard(listen_fd);

    running_program receiver =
        start_program(catchwire_path(), {"-port=" + std::to_string(port), "127.0.0.1", copy});
    program_guard receiver_guard(receiver);
    const int peer = accept_within(listen_fd, 10000);
    ASSERT_GE(peer, 0);
    fd_guard peer_guard(peer);
    ASSERT_TRUE(send_all(peer, "some bytes"));

    EXPECT_LT(cpu_over_measure(receiver.pid), measure_ms / 1000.0 / 2) << "the receiver spins";
    kill(receiver.pid, GetParam());

    const program_result ended = finish_program(receiver, 5000);
    EXPECT_FALSE(ended.timed_out) << "the interrupt did not end the blocked recv";
    EXPECT_EQ(ended.term_signal, 0);
    EXPECT_EQ(ended.exit_status, 1);
    EXPECT_NE(ended.out.find("\nAborting connection ... \n"), std::string::npos) << ended.out;
    EXPECT_NE(file_size_or_missing(copy), -1) << "the interrupt deleted the output file";
}

INSTANTIATE_TEST_SUITE_P(Signals, SilentSender, testing::Values(SIGINT, SIGTERM),
                         [](const testing::TestParamInfo<int>& info) {
                             return signal_label(info.param);
                         });

}  // namespace
