// pitchwire's batched file reads and sends seen from outside: a file that grows or shrinks
// while it is sent, and a receiver that goes away in the middle of a batch. The stream, the
// counts and the checksum must agree to the byte.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <string_view>

#include "sender_test_support.h"

namespace {

using sendertest::grouped;
using wiretest::checksum_hex;

// Far more than the loopback buffers hold, so the sender is still reading when the file
// changes.
constexpr std::size_t file_size = 16U << 20U;

// The file changes once the first bytes have arrived; the sender sends to its new end and
// reports the difference from the size it started with.
TEST(changing_file, grown_or_cut_file_is_sent_to_its_new_end_and_reported) {
    const std::string added = wiretest::random_bytes(5555, 4);
    const std::size_t cut_size = 9000001;
    const struct {
        const char* read_size;
        bool grow;
    } cases[] = {{"-readsize=4096", true}, {"-readsize=5000", false}};
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.grow ? "grown" : "cut inside a block");
        const std::string dir = wiretest::make_temp_dir();
        const std::string path = dir + "/data";
        const std::string original = wiretest::random_bytes(file_size, entry.grow ? 3 : 5);
        wiretest::write_file(path, original);
        const auto outcome = sendertest::run_transfer(dir, {entry.read_size, "data"}, "", [&] {
            if (entry.grow) {
                std::ofstream(path, std::ios::app | std::ios::binary) << added;
            } else {
                EXPECT_EQ(truncate(path.c_str(), static_cast<off_t>(cut_size)), 0);
            }
        });
        const std::string expected = entry.grow ? original + added : original.substr(0, cut_size);
        // The incomplete file ends the connection with a reset, which may drop what was
        // still on its way: the stream is a true beginning of what was sent.
        EXPECT_TRUE(std::string_view(expected).starts_with(outcome.stream))
            << outcome.stream.size();
        EXPECT_TRUE(sendertest::normalized(outcome.result.out)
                        .ends_with("\nError: Could not send complete contents of file\n"
                                   "File:     data\nOffset:   " +
                                   grouped(expected.size()) + "\nFileSize: " + grouped(file_size) +
                                   "\n" + sendertest::totals_text(expected)))
            << outcome.result.out;
        EXPECT_EQ(outcome.result.exit_status, 1);
    }
}

// The receiver resets the connection in the middle of a batch: only whole blocks count, and
// the checksum is that of exactly the counted bytes.
TEST(changing_file, receiver_leaving_mid_batch_counts_whole_blocks_only) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string original = wiretest::random_bytes(file_size, 6);
    wiretest::write_file(dir + "/data", original);
    auto run = sendertest::start_sender(dir, {"-readsize=5000", "data"});
    const wiretest::program_guard guard(run.program);
    wiretest::byte_tally tally{[&](std::uint64_t offset) { return original[offset]; }};
    {
        const wiretest::fd_guard client(wiretest::connect_within(run.port));
        ASSERT_NE(client.fd, -1);
        EXPECT_TRUE(wiretest::read_into(client.fd, tally, 100000));
    }
    EXPECT_EQ(tally.first_mismatch, -1);
    const auto result = wiretest::finish_program(run.program);

    const std::uint64_t counted = wiretest::count_after(result.out, "Successfully sent ");
    EXPECT_EQ(counted % 5000, 0U) << result.out;
    EXPECT_LT(tally.count, counted + 5000);
    EXPECT_EQ(wiretest::text_after(result.out, "TCPIP Data Checksum: "),
              checksum_hex(std::string_view(original).substr(0, counted)));
    EXPECT_NE(result.out.find("\nError: send failed: Connection Reset\n"), std::string::npos);
    EXPECT_EQ(result.exit_status, 1);
}

}  // namespace
