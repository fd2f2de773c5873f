// A slow path that loses, duplicates and reorders packets, between two network namespaces
// that the test makes and removes: the copy must still be byte-identical. Nothing leaves
// the machine: the addresses exist only on the test's own veth pair.

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "program_runner.h"

namespace {

using namespace wiretest;

const std::string sender_ns = "wtsend" + std::to_string(getpid());
const std::string receiver_ns = "wtrecv" + std::to_string(getpid());

// Runs a shell command line with a bound; returns "" on success, else what it printed.
std::string run_shell(const std::string& command) {
    run_options bounded;
    bounded.timeout_ms = 20000;
    const program_result result =
        run_program("/bin/sh", {"-c", "PATH=/usr/sbin:/sbin:$PATH; " + command}, bounded);
    return result.exit_status == 0 ? "" : "failed: " + result.out + result.err;
}

// Removes both namespaces (and the veth pair inside) when the test ends.
struct namespace_pair {
    ~namespace_pair() {
        run_shell("ip netns delete " + sender_ns + "; ip netns delete " + receiver_ns);
    }
};

TEST(LossyPath, FiftyMegabytesArriveIntact) {
    if (geteuid() != 0 || !run_shell("command -v ip && command -v tc").empty()) {
        GTEST_SKIP() << "needs root with ip and tc to make network namespaces";
    }
    const namespace_pair remove_at_end;
    const std::string made = run_shell(
        "set -e; S=" + sender_ns + "; R=" + receiver_ns +
        "; ip netns add $S; ip netns add $R"
        "; ip link add wtv0 netns $S type veth peer name wtv1 netns $R"
        "; ip -n $S addr add 10.200.0.1/24 dev wtv0; ip -n $R addr add 10.200.0.2/24 dev wtv1"
        "; ip -n $S link set wtv0 up; ip -n $R link set wtv1 up"
        "; ip netns exec $S tc qdisc add dev wtv0 root netem delay 2ms 1ms loss 1% duplicate 1%"
        " reorder 5% 50%"
        "; ip netns exec $R tc qdisc add dev wtv1 root netem delay 1ms loss 0.5% duplicate 0.5%");
    if (!made.empty()) {
        GTEST_SKIP() << "cannot make namespaces with netem (sch_netem) here: " << made;
    }

    const std::string dir = make_temp_dir();
    const std::string bytes = random_bytes(50 << 20, 31);
    const std::string source = write_file(dir + "/source.img", bytes);
    const std::string copy = dir + "/copy.img";
    const std::string port = "-port=" + std::to_string(free_port());
    running_program sender =
        start_program("/bin/sh", {"-c", "PATH=/usr/sbin:/sbin:$PATH exec ip netns exec \"$@\"",
                                  "sh", sender_ns, pitchwire_path(), port, source});
    program_guard sender_guard(sender);
    running_program receiver =
        start_program("/bin/sh", {"-c", "PATH=/usr/sbin:/sbin:$PATH exec ip netns exec \"$@\"",
                                  "sh", receiver_ns, catchwire_path(), port, "10.200.0.1", copy});
    program_guard receiver_guard(receiver);

    const program_result sent = finish_program(sender, 240000);
    const program_result received = finish_program(receiver, 30000);
    EXPECT_EQ(sent.exit_status, 0) << sent.out;
    EXPECT_EQ(received.exit_status, 0) << received.out;
    EXPECT_EQ(count_after(sent.out, "Successfully sent "), 50U << 20);
    EXPECT_EQ(count_after(received.out, "Successfully received "), 50U << 20);
    EXPECT_EQ(text_after(sent.out, "Checksum: "), checksum_hex(bytes));
    EXPECT_EQ(text_after(received.out, "Checksum: "), checksum_hex(bytes));
    EXPECT_TRUE(read_file(copy) == bytes) << "the copy differs from the source";
}

}  // namespace
