// No controlling terminal and standard input at its end, as under a service or CI: each
// program's prompt stops as if "Q" were typed, is asked once, and both programs end.

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "program_runner.h"

namespace {

using namespace wiretest;

struct prompt_case {
    const char* name;
    bool sender_prompts;  // which program meets the prompt
    std::size_t first_size;
    std::vector<std::string> receiver_options;
    std::string prompt;       // "%s" stands for the missing second file or the first piece
    int exit_status;          // of the program that prompts
    std::size_t copied_size;  // what the receiver keeps of the first file, when it completes
};

// Names the case in test listings, which would otherwise show its bytes (pointers included).
void PrintTo(const prompt_case& row, std::ostream* out) {
    *out << row.name;
}

class NoTerminal : public testing::TestWithParam<prompt_case> {};

TEST_P(NoTerminal, PromptStopsAtEndOfInput) {
    const prompt_case& row = GetParam();
    const std::string dir = make_temp_dir();
    const std::string first = random_bytes(row.first_size, 2);
    const std::string named = dir + (row.sender_prompts ? "/missing.img" : "/copy.img");
    const std::string port = "-port=" + std::to_string(free_port());
    std::vector<std::string> sender_args{port, write_file(dir + "/first.img", first)};
    if (row.sender_prompts) {
        sender_args.push_back(named);
    }
    std::vector<std::string> receiver_args{port};
    receiver_args.insert(receiver_args.end(), row.receiver_options.begin(),
                         row.receiver_options.end());
    receiver_args.insert(receiver_args.end(), {"127.0.0.1", dir + "/copy.img"});
    std::string prompt = row.prompt;
    for (std::size_t at = prompt.find("%s"); at != std::string::npos; at = prompt.find("%s")) {
        prompt.replace(at, 2, named);
    }

    running_program sender = start_program(pitchwire_path(), sender_args);
    program_guard sender_guard(sender);
    running_program receiver = start_program(catchwire_path(), receiver_args);
    program_guard receiver_guard(receiver);
    const program_result sent = finish_program(sender, 20000);
    const program_result received = finish_program(receiver, 20000);

    const program_result& prompting = row.sender_prompts ? sent : received;
    EXPECT_FALSE(prompting.timed_out) << "the prompt did not stop at end of input";
    EXPECT_EQ(prompting.exit_status, row.exit_status) << prompting.out;
    const std::size_t asked = prompting.out.find(prompt);
    EXPECT_NE(asked, std::string::npos) << prompting.out;
    EXPECT_EQ(prompting.out.find(prompt, asked + 1), std::string::npos) << "asked again";
    if (row.sender_prompts) {
        // The sender stopped early: a reset tells the receiver, which keeps no partial copy.
        EXPECT_NE(received.out.find("\nError: recv failed: Connection Reset\n"), std::string::npos)
            << received.out;
        EXPECT_EQ(file_length(dir + "/copy.img"), -1);
    } else {
        EXPECT_NE(received.out.find("Successfully received "), std::string::npos);
        EXPECT_TRUE(read_file(dir + "/copy.img") == first.substr(0, row.copied_size));
    }
    EXPECT_EQ(sent.term_signal, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, NoTerminal,
    testing::Values(
        // A stop before every file is sent is never reported as success.
        prompt_case{"SenderMediaPrompt",
                    true,
                    70000,
                    {},
                    "Opening file: %s\n\nError: Could not open %s\nError: No such file or "
                    "directory\nEnter new filename or press [ENTER] when ready or \"Q\" to quit: ",
                    1,
                    0},
        prompt_case{"ReceiverNewFilePrompt",
                    false,
                    (1 << 20) + 5,
                    {"-autosize=1"},
                    "Reached the end of file %s\nEnter new filename [Q]: ",
                    0,
                    1 << 20}),
    [](const testing::TestParamInfo<prompt_case>& info) { return std::string(info.param.name); });

}  // namespace
