// pitchwire sending files to a plain TCP client: the stream is the files' exact
// concatenation, the totals match what arrived, and every early stop is reported.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "program_runner.h"
#include "sender_test_support.h"

namespace {

using sendertest::cleared_line;
using sendertest::connected_prefix;
using sendertest::normalized;
using sendertest::totals_text;
using wiretest::checksum_hex;
using wiretest::finish_program;

struct named_file {
    std::string name;
    std::string bytes;
};

std::string grouped(std::size_t count) {
    std::string digits = std::to_string(count);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

// Starts the sender on the files of dir named by args, takes the whole stream with a plain
// client, and returns the stream and the sender's result.
struct transfer_outcome {
    std::string stream;
    wiretest::program_result result;
};

transfer_outcome run_transfer(const std::string& dir, const std::vector<std::string>& args,
                              const std::string& answers = "") {
    wiretest::run_options options;
    options.stdin_text = answers;
    auto run = sendertest::start_sender(dir, args, options);
    transfer_outcome outcome;
    if (run.program.pid == -1) {
        ADD_FAILURE() << "the sender never listened";
        return outcome;
    }
    const int client = sendertest::connect_client(run.port);
    EXPECT_NE(client, -1);
    if (client != -1) {
        outcome.stream = sendertest::read_to_end(client);
    }
    outcome.result = finish_program(run.program);
    return outcome;
}

std::string opening(const std::string& name) {
    return "Opening file: " + name + "\n";
}

const std::string prompt = "Enter new filename or press [ENTER] when ready or \"Q\" to quit: ";

TEST(SenderFileTransfer, FilesArriveBackToBackWithMatchingTotals) {
    const std::string dir = wiretest::make_temp_dir();
    // Sizes around the 4096-byte send pieces and the 32768-byte read blocks.
    const std::vector<named_file> files{
        {"a", wiretest::random_bytes(100000, 1)}, {"empty", ""},
        {"b", wiretest::random_bytes(4095, 2)},   {"c", wiretest::random_bytes(4096, 3)},
        {"d", wiretest::random_bytes(4097, 4)},   {"e", wiretest::random_bytes(32767, 5)},
        {"f", wiretest::random_bytes(32768, 6)},  {"g", wiretest::random_bytes(32769, 7)},
        {"h", wiretest::random_bytes(65536, 8)},
    };
    std::vector<std::string> args{"-readsize=32768"};
    std::string all_bytes;
    std::string expected = connected_prefix();
    for (const named_file& file : files) {
        wiretest::write_file(dir + "/" + file.name, file.bytes);
        args.push_back(file.name);
        all_bytes += file.bytes;
        expected += opening(file.name) + cleared_line();
    }
    expected += totals_text(grouped(all_bytes.size()), checksum_hex(all_bytes));

    const auto outcome = run_transfer(dir, args);
    EXPECT_TRUE(outcome.stream == all_bytes) << outcome.stream.size();
    EXPECT_EQ(normalized(outcome.result.out), expected);
    EXPECT_EQ(outcome.result.exit_status, 0);
}

TEST(SenderFileTransfer, DefaultBlocksAndAnEmptyFileAlone) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string bytes = wiretest::random_bytes(3 * 4096 + 1, 9);
    wiretest::write_file(dir + "/data", bytes);
    wiretest::write_file(dir + "/empty", "");

    auto outcome = run_transfer(dir, {"data"});
    EXPECT_TRUE(outcome.stream == bytes);
    EXPECT_EQ(normalized(outcome.result.out),
              connected_prefix() + opening("data") + cleared_line() +
                  totals_text(grouped(bytes.size()), checksum_hex(bytes)));
    EXPECT_EQ(outcome.result.exit_status, 0);

    outcome = run_transfer(dir, {"empty"});
    EXPECT_TRUE(outcome.stream.empty());
    EXPECT_EQ(normalized(outcome.result.out),
              connected_prefix() + opening("empty") + cleared_line() + totals_text("0", "0"));
    EXPECT_EQ(outcome.result.exit_status, 0);
}

TEST(SenderFileTransfer, MissingSecondFileAsksUntilQuit) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string bytes = wiretest::random_bytes(5000, 10);
    wiretest::write_file(dir + "/first", bytes);
    const std::string open_error =
        "\nError: Could not open missing\nError: No such file or directory\n";

    // Enter tries the same name again; "quit" is a name, not the answer Q.
    const auto outcome = run_transfer(dir, {"first", "missing"}, "\nquit\nQ\n");
    EXPECT_TRUE(outcome.stream == bytes);
    EXPECT_EQ(normalized(outcome.result.out),
              connected_prefix() + opening("first") + cleared_line() + opening("missing") +
                  open_error + prompt + open_error + prompt + "Opening file: \"quit\"\n" +
                  "\nError: Could not open quit\nError: No such file or directory\n" + prompt +
                  totals_text(grouped(bytes.size()), checksum_hex(bytes)));
    // A partial transfer is not a success.
    EXPECT_EQ(outcome.result.exit_status, 1);
}

TEST(SenderFileTransfer, PauseAsksBeforeEveryFileAndTakesANewName) {
    const std::string dir = wiretest::make_temp_dir();
    const std::string one = wiretest::random_bytes(1000, 11);
    const std::string two = wiretest::random_bytes(2000, 12);
    const std::string other = wiretest::random_bytes(3000, 13);
    wiretest::write_file(dir + "/one", one);
    wiretest::write_file(dir + "/two", two);
    wiretest::write_file(dir + "/other", other);

    const auto outcome = run_transfer(dir, {"-pause", "one", "two"}, "\nother\n");
    const std::string all_bytes = one + other;
    EXPECT_TRUE(outcome.stream == all_bytes);
    EXPECT_EQ(normalized(outcome.result.out),
              connected_prefix() + opening("one") + prompt + cleared_line() + opening("two") +
                  prompt + "Opening file: \"other\"\n" + cleared_line() +
                  totals_text(grouped(all_bytes.size()), checksum_hex(all_bytes)));
    EXPECT_EQ(outcome.result.exit_status, 0);
}

TEST(SenderFileTransfer, EndOfInputAtThePromptCountsAsQuit) {
    const std::string dir = wiretest::make_temp_dir();
    wiretest::write_file(dir + "/one", "abc");
    const auto outcome = run_transfer(dir, {"-pause", "one"});
    EXPECT_TRUE(outcome.stream.empty());
    EXPECT_EQ(normalized(outcome.result.out),
              connected_prefix() + opening("one") + prompt + totals_text("0", "0"));
    EXPECT_EQ(outcome.result.exit_status, 1);
}

TEST(SenderFileTransfer, DirectoryCountsAsAFileThatCannotBeOpened) {
    const std::string dir = wiretest::make_temp_dir();
    wiretest::write_file(dir + "/real", "abc");
    const std::string subdir = wiretest::make_temp_dir();
    const auto outcome = run_transfer(dir, {subdir}, "real\n");
    EXPECT_EQ(outcome.stream, "abc");
    const std::string dir_error = "\nError: Could not open " + subdir + "\nError: Is a directory\n";
    EXPECT_EQ(normalized(outcome.result.out), connected_prefix() + opening(subdir) + dir_error +
                                                  prompt + "Opening file: \"real\"\n" +
                                                  cleared_line() + totals_text("3", "126"));
    EXPECT_EQ(outcome.result.exit_status, 0);
}

// A file far larger than the socket buffers, made sparse so that it costs no disk.
void make_large_file(const std::string& dir) {
    const std::string path = dir + "/large";
    wiretest::write_file(path, "");
    EXPECT_EQ(truncate(path.c_str(), 256L * 1024 * 1024), 0);
}

TEST(SenderFileTransfer, ReceiverClosingEarlyIsASendError) {
    const std::string dir = wiretest::make_temp_dir();
    make_large_file(dir);
    auto run = sendertest::start_sender(dir, {"large"});
    ASSERT_NE(run.program.pid, -1);
    const int client = sendertest::connect_client(run.port);
    ASSERT_NE(client, -1);
    EXPECT_EQ(sendertest::read_some(client, 100).size(), 100U);
    // Closing with data unread resets the connection.
    close(client);
    const auto result = finish_program(run.program);
    const std::string out = normalized(result.out);
    EXPECT_NE(out.find("\nError: send failed: Connection Reset\n\nSuccessfully sent "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\nTCPIP Data Checksum: 0\n"), std::string::npos);
    EXPECT_EQ(result.exit_status, 1);
}

TEST(SenderFileTransfer, InterruptEndsTheWaitOrTheTransferCleanly) {
    const std::string dir = wiretest::make_temp_dir();
    make_large_file(dir);

    auto waiting = sendertest::start_sender(dir, {"large"});
    ASSERT_NE(waiting.program.pid, -1);
    kill(waiting.program.pid, SIGTERM);
    auto result = finish_program(waiting.program);
    EXPECT_EQ(normalized(result.out),
              sendertest::quiet_banner + "Initializing TCP/IP Protocol Stack\n" +
                  "Local TCP/IP address: A\n" + "Waiting for connection [ESC to abort] ... " +
                  "\nAborting connection ... \n");
    EXPECT_EQ(result.exit_status, 1);

    auto sending = sendertest::start_sender(dir, {"large"});
    ASSERT_NE(sending.program.pid, -1);
    const int client = sendertest::connect_client(sending.port);
    ASSERT_NE(client, -1);
    // Data arriving shows that the file is being sent; the client then stops reading.
    EXPECT_EQ(sendertest::read_some(client, 100).size(), 100U);
    kill(sending.program.pid, SIGTERM);
    result = finish_program(sending.program);
    close(client);
    const std::string out = normalized(result.out);
    EXPECT_EQ(out.rfind(connected_prefix() + opening("large"), 0), 0U) << out;
    EXPECT_NE(out.find("\nNotice: send was aborted\n\nSuccessfully sent "), std::string::npos)
        << out;
    const std::string ending = "TCPIP Data Checksum: 0\n\nAborting connection ... \n";
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), ending.size())), ending) << out;
    EXPECT_EQ(result.exit_status, 1);
}

}  // namespace
