// A slow path that loses, duplicates and reorders packets, between two network namespaces
// that the test makes and removes: the copy must still be byte-identical. Nothing leaves
// the machine: the addresses exist only on the test's own veth pair.

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fault_support.h"
#include "program_runner.h"

namespace {

using namespace wiretest;
using namespace faulttest;

constexpr const char* sender_address = "10.200.0.1";
constexpr const char* receiver_address = "10.200.0.2";

std::string tool_path(const char* name) {
    for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        std::string path = std::string(dir) + name;
        if (access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return {};
}

// Runs ip with args; returns "" on success, else what it printed.
std::string run_ip(const std::vector<std::string>& args) {
    run_options bounded;
    bounded.timeout_ms = 10000;
    const program_result result = run_program(tool_path("ip"), args, bounded);
    return result.exit_status == 0 ? "" : "ip failed: " + result.out + result.err;
}

// The pair of namespaces, removed (with the veth pair inside) when the test ends.
struct namespace_pair {
    std::string sender_ns = "wtsend" + std::to_string(getpid());
    std::string receiver_ns = "wtrecv" + std::to_string(getpid());
    bool made = false;
    namespace_pair() = default;
    namespace_pair(const namespace_pair&) = delete;
    namespace_pair& operator=(const namespace_pair&) = delete;
    ~namespace_pair() {
        if (made) {
            run_ip({"netns", "delete", sender_ns});
            run_ip({"netns", "delete", receiver_ns});
        }
    }

    // Makes both namespaces and the link between them. Returns "" or why it could not.
    std::string make() {
        if (std::string failed = run_ip({"netns", "add", sender_ns}); !failed.empty()) {
            return failed;
        }
        made = true;
        for (const std::vector<std::string>& step : std::vector<std::vector<std::string>>{
                 {"netns", "add", receiver_ns},
                 {"link", "add", "wtv0", "netns", sender_ns, "type", "veth", "peer", "name", "wtv1",
                  "netns", receiver_ns},
                 {"-n", sender_ns, "addr", "add", std::string(sender_address) + "/24", "dev",
                  "wtv0"},
                 {"-n", receiver_ns, "addr", "add", std::string(receiver_address) + "/24", "dev",
                  "wtv1"},
                 {"-n", sender_ns, "link", "set", "wtv0", "up"},
                 {"-n", receiver_ns, "link", "set", "wtv1", "up"}}) {
            if (std::string failed = run_ip(step); !failed.empty()) {
                return failed;
            }
        }
        return {};
    }

    // Puts a netem discipline on the device inside the namespace. Returns "" or why not.
    std::string impair(const std::string& ns, const std::string& device,
                       const std::vector<std::string>& netem) const {
        std::vector<std::string> args{"netns", "exec", ns,     tool_path("tc"), "qdisc",
                                      "add",   "dev",  device, "root",          "netem"};
        args.insert(args.end(), netem.begin(), netem.end());
        return run_ip(args);
    }
};

TEST(LossyPath, FiftyMegabytesArriveIntact) {
    if (geteuid() != 0 || tool_path("ip").empty() || tool_path("tc").empty()) {
        GTEST_SKIP() << "needs root with ip and tc to make network namespaces";
    }
    namespace_pair namespaces;
    if (std::string failed = namespaces.make(); !failed.empty()) {
        GTEST_SKIP() << "cannot make network namespaces here: " << failed;
    }
    const std::string sender_side = namespaces.impair(
        namespaces.sender_ns, "wtv0",
        {"delay", "2ms", "1ms", "loss", "1%", "duplicate", "1%", "reorder", "5%", "50%"});
    if (!sender_side.empty()) {
        GTEST_SKIP() << "netem is not available (sch_netem): " << sender_side;
    }
    ASSERT_EQ(namespaces.impair(namespaces.receiver_ns, "wtv1",
                                {"delay", "1ms", "loss", "0.5%", "duplicate", "0.5%"}),
              "");

    const std::string dir = make_temp_dir();
    const std::string source = dir + "/source.img";
    const std::string copy = dir + "/copy.img";
    write_repeating_file(source, 50 << 20, 31);
    const std::string port_text = "-port=5001";
    running_program sender = start_program(tool_path("ip"), {"netns", "exec", namespaces.sender_ns,
                                                             pitchwire_path(), port_text, source});
    program_guard sender_guard(sender);
    running_program receiver =
        start_program(tool_path("ip"), {"netns", "exec", namespaces.receiver_ns, catchwire_path(),
                                        port_text, sender_address, copy});
    program_guard receiver_guard(receiver);

    const program_result sent = finish_program(sender, 240000);
    const program_result received = finish_program(receiver, 30000);
    EXPECT_EQ(sent.exit_status, 0) << sent.out;
    EXPECT_EQ(received.exit_status, 0) << received.out;
    EXPECT_EQ(count_after(sent.out, "Successfully sent "), 50U << 20);
    EXPECT_EQ(count_after(received.out, "Successfully received "), 50U << 20);
    EXPECT_EQ(checksum_in(sent.out), checksum_in(received.out));
    EXPECT_EQ(file_size_or_missing(copy), 50LL << 20);
    EXPECT_TRUE(is_prefix_of(copy, source)) << "the copy differs from the source";
}

}  // namespace
