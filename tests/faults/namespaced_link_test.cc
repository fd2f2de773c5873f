// Real TCP between two network namespaces that the test makes and removes, joined by a veth
// pair: a lossy, rate-limited path, a blackout that never lifts and one that does, and the
// address an isolated link shows. Nothing leaves the machine: the addresses exist only on
// the test's own veth pair. Needs root with ip, tc and nft; skipped, saying why, elsewhere.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "loopback_peer.h"
#include "program_runner.h"

namespace {

using namespace wiretest;

// Unique per test process, so that parallel runs never meet.
const std::string tag = std::to_string(getpid());
const std::string sender_ns = "wts" + tag;
const std::string receiver_ns = "wtr" + tag;
const std::string sender_address = "10.200.0.1";

// Runs a shell command line with a bound; returns "" on success, else what it printed.
std::string run_shell(const std::string& command) {
    run_options bounded;
    bounded.timeout_ms = 20000;
    const program_result result =
        run_program("/bin/sh", {"-c", "PATH=/usr/sbin:/sbin:$PATH; " + command}, bounded);
    return result.exit_status == 0 ? "" : "failed: " + command + ": " + result.out + result.err;
}

// Drops what enters either namespace: every packet for "drop", a share of them for a numgen
// rule; no rule lifts the filter again.
std::string filter_both(const std::string& rule = "") {
    const std::string commands =
        rule.empty() ? "delete table inet wt"
                     : "add table inet wt; add chain inet wt input { type filter hook input "
                       "priority 0; }; add rule inet wt input " +
                           rule;
    return run_shell("for n in " + sender_ns + " " + receiver_ns + "; do ip netns exec $n nft '" +
                     commands + "' || exit 1; done");
}

// The two namespaces, the sender's at 10.200.0.1 and the receiver's at 10.200.0.2, with no
// other route, and data towards the receiver limited to 20 Mbit/s; removed with the test.
struct linked_namespaces {
    std::string failure;  // why they could not be made; empty when they stand

    linked_namespaces() {
        failure = geteuid() != 0
                      ? "needs root"
                      : run_shell("S=" + sender_ns + " R=" + receiver_ns + " V=wtv" + tag +
                                  "; set -e; command -v nft; command -v tc"
                                  "; ip netns add $S; ip netns add $R"
                                  "; ip link add ${V}s netns $S type veth peer name ${V}r netns $R"
                                  "; ip -n $S addr add 10.200.0.1/24 dev ${V}s"
                                  "; ip -n $R addr add 10.200.0.2/24 dev ${V}r"
                                  "; ip -n $S link set ${V}s up; ip -n $R link set ${V}r up"
                                  "; ip netns exec $S tc qdisc add dev ${V}s root tbf rate 20mbit"
                                  " burst 32kbit latency 20ms");
    }
    ~linked_namespaces() {
        run_shell("ip netns delete " + sender_ns + "; ip netns delete " + receiver_ns);
    }
};

#define SKIP_WITHOUT(namespaces)                                           \
    if (!(namespaces).failure.empty()) {                                   \
        GTEST_SKIP() << "cannot make network namespaces with tc and nft: " \
                     << (namespaces).failure;                              \
    }

running_program start_in(const std::string& ns, const std::string& path,
                         std::vector<std::string> args, const run_options& options) {
    args.insert(args.begin(),
                {"-c", "PATH=/usr/sbin:/sbin:$PATH exec ip netns exec \"$@\"", "sh", ns, path});
    return start_program("/bin/sh", args, options);
}

// pitchwire sending source from its namespace to catchwire writing copy in the other, both
// with extra environment entries; running once the copy holds a mebibyte.
struct namespaced_transfer {
    std::string copy = make_temp_dir() + "/copy.img";
    running_program sender;
    running_program receiver;
    program_guard sender_guard{sender};
    program_guard receiver_guard{receiver};

    namespaced_transfer(const std::string& source, const std::vector<std::string>& environment) {
        run_options options;
        options.environment = environment;
        const std::string port = "-port=" + std::to_string(free_port());
        sender = start_in(sender_ns, pitchwire_path(), {port, source}, options);
        EXPECT_TRUE(wait_for_output(sender, "Waiting for connection"));
        receiver = start_in(receiver_ns, catchwire_path(), {port, sender_address, copy}, options);
        EXPECT_TRUE(wait_until([&] { return file_length(copy) >= 1 << 20; }, 20000));
    }
};

// Both ends report the same whole transfer and the copy is the source.
void expect_exact_copy(namespaced_transfer& transfer, const std::string& bytes) {
    const program_result sent = finish_program(transfer.sender, 120000);
    const program_result received = finish_program(transfer.receiver, 30000);
    EXPECT_EQ(sent.exit_status, 0) << sent.out;
    EXPECT_EQ(received.exit_status, 0) << received.out;
    EXPECT_EQ(count_after(sent.out, "Successfully sent "), bytes.size());
    EXPECT_EQ(count_after(received.out, "Successfully received "), bytes.size());
    EXPECT_EQ(text_after(sent.out, "Checksum: "), checksum_hex(bytes));
    EXPECT_EQ(text_after(received.out, "Checksum: "), checksum_hex(bytes));
    EXPECT_TRUE(read_file(transfer.copy) == bytes) << "the copy differs from the source";
}

TEST(NamespacedLink, LossAndARateLimitKeepTheCopyExact) {
    const linked_namespaces namespaces;
    SKIP_WITHOUT(namespaces);
    ASSERT_EQ(filter_both("numgen random mod 100 < 5 drop"), "");
    const std::string bytes = random_bytes(8 << 20, 31);
    namespaced_transfer transfer(write_file(make_temp_dir() + "/source.img", bytes), {});
    expect_exact_copy(transfer, bytes);
}

// Twenty seconds without a packet either way is far within what both ends wait for.
TEST(NamespacedLink, BlackoutLiftedAfterTwentySecondsLetsTheCopyFinish) {
    const linked_namespaces namespaces;
    SKIP_WITHOUT(namespaces);
    const std::string bytes = random_bytes(8 << 20, 37);
    namespaced_transfer transfer(write_file(make_temp_dir() + "/source.img", bytes), {});
    ASSERT_EQ(filter_both("drop"), "");
    std::this_thread::sleep_for(std::chrono::seconds(20));
    ASSERT_EQ(filter_both(), "");
    expect_exact_copy(transfer, bytes);
}

// A peer that is gone for good ends each end through its failure path within the limit:
// the sender blocked in a send, the receiver waiting for data.
TEST(NamespacedLink, BlackoutNeverLiftedEndsBothEndsWithinTheLimit) {
    const linked_namespaces namespaces;
    SKIP_WITHOUT(namespaces);
    constexpr int limit_seconds = 9;
    const std::string source = write_file(make_temp_dir() + "/source.img", random_bytes(1 << 20));
    ASSERT_EQ(truncate(source.c_str(), 4LL << 30), 0);
    namespaced_transfer transfer(source,
                                 {"WIRE_TEST_PEER_TIMEOUT=" + std::to_string(limit_seconds)});
    ASSERT_EQ(filter_both("drop"), "");
    // Neither may outlive four times the limit, counted from the start of the blackout.
    const auto end_by = std::chrono::steady_clock::now() + std::chrono::seconds(4 * limit_seconds);
    const program_result sent = finish_program(transfer.sender, 4000 * limit_seconds);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end_by - std::chrono::steady_clock::now());
    const program_result received =
        finish_program(transfer.receiver, std::max(static_cast<int>(left.count()), 0));
    EXPECT_FALSE(sent.timed_out) << "the sender outlived its peer: " << sent.out;
    EXPECT_FALSE(received.timed_out) << "the receiver outlived its peer: " << received.out;
    EXPECT_EQ(sent.exit_status, 1);
    EXPECT_EQ(received.exit_status, 1);
    EXPECT_NE(sent.out.find("\nError: send failed: Connection Timed Out\n"), std::string::npos)
        << sent.out;
    EXPECT_NE(received.out.find("\nError: recv failed: Connection Timed Out\n"), std::string::npos)
        << received.out;
    EXPECT_EQ(file_length(transfer.copy), -1) << "the incomplete copy was kept";
}

// With the host name on loopback and no default route, the address shown is the link's.
TEST(NamespacedLink, ConfigShowsTheAddressOfAnIsolatedLink) {
    const linked_namespaces namespaces;
    SKIP_WITHOUT(namespaces);
    running_program config =
        start_in(sender_ns, "unshare",
                 {"--uts", "/bin/sh", "-c", "hostname localhost && exec \"$@\"", "sh",
                  pitchwire_path(), "-config"},
                 {});
    const program_guard guard(config);
    const program_result result = finish_program(config);
    EXPECT_TRUE(result.out.ends_with("Local TCP/IP address: " + sender_address + "\n"))
        << result.out;
    EXPECT_EQ(result.exit_status, 1);
}

}  // namespace
