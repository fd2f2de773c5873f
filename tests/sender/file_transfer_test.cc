// pitchwire sending files to a plain TCP client: the stream is the files' exact
// concatenation, the totals match what arrived, and every early stop is reported.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "sender_test_support.h"

namespace {

using sendertest::blank_line;
using sendertest::connected_prefix;
using sendertest::normalized;
using sendertest::run_transfer;
using sendertest::totals_text;

std::string opening(const std::string& name) {
    return "Opening file: " + name + "\n";
}

std::string open_error(const std::string& name, const std::string& reason) {
    return "\nError: Could not open " + name + "\nError: " + reason + "\n";
}

const std::string prompt = "Enter new filename or press [ENTER] when ready or \"Q\" to quit: ";

TEST(SenderFileTransfer, FilesArriveBackToBackWithMatchingTotals) {
    const std::string dir = wiretest::make_temp_dir() + "/";
    // Sizes around the 4096-byte send pieces and the 32768-byte read blocks.
    const std::size_t sizes[] = {100000, 0, 4095, 4096, 4097, 32767, 32768, 32769, 65536};
    std::vector<std::string> args{"-readsize=32768"};
    std::string all_bytes;
    std::string expected = connected_prefix();
    for (const std::size_t size : sizes) {
        const std::string name = "f" + std::to_string(args.size());
        const std::string bytes = wiretest::random_bytes(size, static_cast<unsigned>(size));
        wiretest::write_file(dir + name, bytes);
        args.push_back(name);
        all_bytes += bytes;
        expected += opening(name) + blank_line;
    }
    const auto outcome = run_transfer(dir, args);
    EXPECT_TRUE(outcome.stream == all_bytes) << outcome.stream.size();
    EXPECT_EQ(normalized(outcome.result.out), expected + totals_text(all_bytes));
    EXPECT_EQ(outcome.result.exit_status, 0);
}

// A directory (which on Linux opens; only its read fails) and a missing file are refused at
// the open. Enter tries the same name again, a typed name replaces it, "quit" is a name and
// not the answer Q, and Q ends the run, which is then not a success.
TEST(SenderFileTransfer, FileThatCannotBeOpenedAsksUntilQuit) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string first = wiretest::random_bytes(5000);
    wiretest::write_file(dir + "/first", first);
    wiretest::write_file(dir + "/real", "abc");
    const std::string subdir = wiretest::make_temp_dir();
    const std::string not_file = open_error(subdir, "Is a directory") + prompt;
    const std::string absent = "No such file or directory";

    const auto outcome = run_transfer(dir, {"first", subdir, "missing"}, "\nreal\nquit\nQ\n");
    EXPECT_TRUE(outcome.stream == first + "abc");
    EXPECT_EQ(normalized(outcome.result.out),
              connected_prefix() + opening("first") + blank_line + opening(subdir) + not_file +
                  not_file + "Opening file: \"real\"\n" + blank_line + opening("missing") +
                  open_error("missing", absent) + prompt + "Opening file: \"quit\"\n" +
                  open_error("quit", absent) + prompt + totals_text(first + "abc"));
    EXPECT_EQ(outcome.result.exit_status, 1);
}

TEST(SenderFileTransfer, PauseAsksBeforeEveryFileAndTakesANewName) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string one = wiretest::random_bytes(1000, 11);
    const std::string other = wiretest::random_bytes(3000, 13);
    wiretest::write_file(dir + "/one", one);
    wiretest::write_file(dir + "/two", "never sent");
    wiretest::write_file(dir + "/other", other);

    const auto outcome = run_transfer(dir, {"-pause", "one", "two"}, "\nother\n");
    EXPECT_TRUE(outcome.stream == one + other);
    EXPECT_EQ(normalized(outcome.result.out),
              connected_prefix() + opening("one") + prompt + blank_line + opening("two") + prompt +
                  "Opening file: \"other\"\n" + blank_line + totals_text(one + other));
    EXPECT_EQ(outcome.result.exit_status, 0);
}

TEST(SenderFileTransfer, InterruptWhileWaitingEndsTheRun) {
    const std::string dir = wiretest::make_temp_dir();
    wiretest::write_file(dir + "/file", "abc");
    auto waiting = sendertest::start_sender(dir, {"file"});
    const wiretest::program_guard guard(waiting.program);
    ASSERT_NE(waiting.program.pid, -1);
    kill(waiting.program.pid, SIGTERM);
    const auto result = wiretest::finish_program(waiting.program);
    EXPECT_EQ(normalized(result.out),
              sendertest::quiet_banner + "Initializing TCP/IP Protocol Stack\n" +
                  "Local TCP/IP address: A\n" + "Waiting for connection [ESC to abort] ... " +
                  "\nAborting connection ... \n");
    EXPECT_EQ(result.exit_status, 1);
}

}  // namespace
