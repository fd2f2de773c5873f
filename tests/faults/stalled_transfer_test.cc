// A peer that stops moving data: the program waits without burning a processor, and an
// interrupt still ends it at once, through the abort path.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "loopback_peer.h"
#include "program_runner.h"

namespace {

using namespace wiretest;

// User plus system CPU seconds of a process, or -1 when they cannot be read.
double cpu_seconds(pid_t pid) {
    std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat_file, text);
    // The name in parentheses may hold blanks; utime and stime are fields 12 and 13 after it.
    const std::size_t name_end = text.rfind(')');
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    if (name_end == std::string::npos ||
        std::sscanf(text.c_str() + name_end + 1,
                    " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                    &stime) != 2) {
        return -1;
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The share of a processor the process uses over the next second; a busy loop uses 1.
double processor_share(pid_t pid) {
    const double before = cpu_seconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double after = cpu_seconds(pid);
    return before < 0 || after < 0 ? 1 : after - before;
}

struct stall_case {
    const char* name;
    std::vector<std::string> args;  // pitchwire's after the port option, or catchwire's
    int signal_number;
    std::vector<std::string> ending;  // printed in this order before the closing line
};

constexpr const char* aborting = "\nAborting connection ... \n";

// Names the case in test listings, which would otherwise show its bytes (pointers included).
void PrintTo(const stall_case& row, std::ostream* out) {
    *out << row.name;
}

class Stalled : public testing::TestWithParam<stall_case> {};

// pitchwire sends to a peer that never reads; catchwire reads from one that sends nothing.
TEST_P(Stalled, WaitsQuietlyAndAnInterruptEndsIt) {
    const stall_case& row = GetParam();
    const bool sender = row.args.size() == 1;
    const std::string dir = make_temp_dir();
    running_program program;
    program_guard guard(program);
    fd_guard peer(-1);
    run_options in_dir;
    in_dir.working_directory = dir;
    if (sender) {
        ASSERT_EQ(truncate(write_file(dir + "/large", "").c_str(), 256LL << 20), 0);
        const int port = free_port();
        program =
            start_program(pitchwire_path(), {"-port=" + std::to_string(port), row.args[0]}, in_dir);
        ASSERT_TRUE(wait_for_output(program, "Waiting for connection"));
        peer.fd = connect_within(port, 10000, 4096);
    } else {
        const fd_guard listener(listen_loopback());
        std::vector<std::string> args{"-port=" + std::to_string(bound_port(listener.fd))};
        args.insert(args.end(), row.args.begin(), row.args.end());
        program = start_program(catchwire_path(), args, in_dir);
        peer.fd = accept_within(listener.fd);
        EXPECT_TRUE(send_all(peer.fd, "some bytes"));
    }
    ASSERT_GE(peer.fd, 0);

    EXPECT_LT(processor_share(program.pid), 0.5) << "the program spins while blocked";
    kill(program.pid, row.signal_number);
    const program_result ended = finish_program(program, 5000);
    EXPECT_FALSE(ended.timed_out) << "the interrupt did not end the blocked call";
    EXPECT_EQ(ended.term_signal, 0);
    EXPECT_EQ(ended.exit_status, 1);
    std::size_t from = 0;
    for (const std::string& part : row.ending) {
        from = ended.out.find(part, from);
        ASSERT_NE(from, std::string::npos) << "missing " << part << " in " << ended.out;
    }
    EXPECT_TRUE(ended.out.ends_with(aborting)) << ended.out;
    if (!sender) {
        EXPECT_NE(file_length(dir + "/copy.img"), -1) << "the interrupt deleted the output file";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, Stalled,
    testing::Values(
        stall_case{"SenderFileSigint",
                   {"large"},
                   SIGINT,
                   {"\nNotice: send was aborted\n", "Successfully sent ", "TCPIP Data Checksum: "}},
        stall_case{"SenderGeneratedSigterm",
                   {"-"},
                   SIGTERM,
                   {"Notice: send was aborted\n", "Successfully sent ", "TCPIP Data Checksum: "}},
        stall_case{"ReceiverSigterm", {"127.0.0.1", "copy.img"}, SIGTERM, {}}),
    [](const testing::TestParamInfo<stall_case>& info) { return std::string(info.param.name); });

}  // namespace
