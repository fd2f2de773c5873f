// No controlling terminal and standard input at its end, as under a service or CI: every
// prompt stops as if "Q" were typed, and both programs end by themselves.

#include <string>

#include <gtest/gtest.h>

#include "fault_support.h"
#include "program_runner.h"

namespace {

using namespace wiretest;
using namespace faulttest;

constexpr const char* media_prompt =
    "Enter new filename or press [ENTER] when ready or \"Q\" to quit: ";

struct transfer_ends {
    program_result sender;
    program_result receiver;
};

// Runs pitchwire with sender_args and catchwire with receiver_args against each other,
// standard input at its end for both (the harness gives them no terminal).
transfer_ends run_pair(const std::vector<std::string>& sender_args,
                       const std::vector<std::string>& receiver_args) {
    const std::string port_text = "-port=" + std::to_string(free_port());
    std::vector<std::string> sender_line{port_text};
    sender_line.insert(sender_line.end(), sender_args.begin(), sender_args.end());
    std::vector<std::string> receiver_line{port_text};
    receiver_line.insert(receiver_line.end(), receiver_args.begin(), receiver_args.end());
    running_program sender = start_program(pitchwire_path(), sender_line);
    program_guard sender_guard(sender);
    running_program receiver = start_program(catchwire_path(), receiver_line);
    program_guard receiver_guard(receiver);
    transfer_ends ends;
    ends.sender = finish_program(sender, 20000);
    ends.receiver = finish_program(receiver, 20000);
    return ends;
}

TEST(NoTerminal, MissingSecondFileStopsAtTheMediaPrompt) {
    const std::string dir = make_temp_dir();
    const std::string first = write_file(dir + "/first.img", random_bytes(70000, 2));
    const std::string missing = dir + "/missing.img";
    const std::string copy = dir + "/copy.img";

    const transfer_ends ends = run_pair({first, missing}, {"127.0.0.1", copy});
    EXPECT_FALSE(ends.sender.timed_out) << "the media prompt did not stop at end of input";
    EXPECT_EQ(ends.sender.exit_status, 1) << "a partial transfer reported as success";
    const std::string expected_prompt = "Opening file: " + missing + "\n\nError: Could not open " +
                                        missing + "\nError: No such file or directory\n" +
                                        media_prompt;
    EXPECT_NE(ends.sender.out.find(expected_prompt), std::string::npos) << ends.sender.out;
    EXPECT_EQ(ends.sender.out.find(media_prompt), ends.sender.out.rfind(media_prompt))
        << "the prompt was asked again after end of input";
    EXPECT_EQ(count_after(ends.sender.out, "Successfully sent "), 70000U);

    EXPECT_FALSE(ends.receiver.timed_out);
    EXPECT_EQ(ends.receiver.exit_status, 0);
    EXPECT_TRUE(read_file(copy) == read_file(first));
}

TEST(NoTerminal, PauseStopsBeforeTheFirstFile) {
    const std::string dir = make_temp_dir();
    const std::string first = write_file(dir + "/first.img", random_bytes(5000, 4));
    const std::string copy = dir + "/copy.img";

    const transfer_ends ends = run_pair({"-pause", first}, {"127.0.0.1", copy});
    EXPECT_FALSE(ends.sender.timed_out);
    EXPECT_EQ(ends.sender.exit_status, 1);
    EXPECT_NE(ends.sender.out.find(std::string("Opening file: ") + first + "\n" + media_prompt),
              std::string::npos)
        << ends.sender.out;
    EXPECT_EQ(count_after(ends.sender.out, "Successfully sent "), 0U);
    EXPECT_FALSE(ends.receiver.timed_out);
    EXPECT_EQ(ends.receiver.exit_status, 0);
    EXPECT_EQ(file_size_or_missing(copy), 0);
}

TEST(NoTerminal, NewFilePromptStopsAndKeepsThePiece) {
    const std::string dir = make_temp_dir();
    const std::string stream = random_bytes((1 << 20) + 5, 6);
    const std::string source = write_file(dir + "/source.img", stream);
    const std::string piece = dir + "/ONE";

    const transfer_ends ends = run_pair({source}, {"-autosize=1", "127.0.0.1", piece});
    EXPECT_FALSE(ends.receiver.timed_out) << "the new-file prompt did not stop at end of input";
    EXPECT_EQ(ends.receiver.exit_status, 0);
    const std::string expected = "Reached the end of file " + piece + "\nEnter new filename [Q]: ";
    EXPECT_NE(ends.receiver.out.find(expected), std::string::npos) << ends.receiver.out;
    EXPECT_EQ(ends.receiver.out.find("[Q]: "), ends.receiver.out.rfind("[Q]: "))
        << "the prompt was asked again after end of input";
    EXPECT_NE(ends.receiver.out.find("Successfully received "), std::string::npos);
    EXPECT_TRUE(read_file(piece) == stream.substr(0, 1 << 20));
    EXPECT_FALSE(ends.sender.timed_out);
    EXPECT_EQ(ends.sender.term_signal, 0);
}

}  // namespace
