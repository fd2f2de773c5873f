// Standard input and output closed, or a pipe whose reader has gone (as in
// "pitchwire ... | head -1"): the programs must not die of SIGPIPE, and the transfer itself
// must not suffer. A closed standard descriptor must never be taken over by a socket or the
// output file, or the messages would land in the data.

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "program_runner.h"

namespace {

using namespace wiretest;

struct broken_output {
    const char* name;
    bool wrap_sender;  // else the receiver runs in the shell
    // "$0" is the program, the rest its arguments; its own exit status comes out on standard
    // error as "exit=N" (141 would mean death by SIGPIPE).
    const char* script;
};

constexpr const char* streams_closed = R"("$0" "$@" <&- >&-; echo "exit=$?" >&2)";
constexpr const char* reader_gone =
    R"({ "$0" "$@"; echo "exit=$?" >&2; } | { head -n 1 >/dev/null; exec 0<&-; echo reader-gone >&2; })";

// Names the case in test listings, which would otherwise show its bytes (pointers included).
void PrintTo(const broken_output& row, std::ostream* out) {
    *out << row.name;
}

class BrokenOutput : public testing::TestWithParam<broken_output> {};

TEST_P(BrokenOutput, TransferIsUnaffected) {
    const broken_output& row = GetParam();
    const std::string dir = make_temp_dir();
    const std::string sent = random_bytes(8 << 20, 21);
    const std::string source = write_file(dir + "/source.img", sent);
    const std::string port = "-port=" + std::to_string(free_port());
    const std::vector<std::string> sender_args{port, source};
    const std::vector<std::string> receiver_args{port, "127.0.0.1", dir + "/copy.img"};
    const auto& wrapped_args = row.wrap_sender ? sender_args : receiver_args;
    std::vector<std::string> shell_args{"-c", row.script,
                                        row.wrap_sender ? pitchwire_path() : catchwire_path()};
    shell_args.insert(shell_args.end(), wrapped_args.begin(), wrapped_args.end());

    // The wrapped program starts first; with a pipe, the other one only once the reader has
    // gone, so that every later write of the wrapped program meets a broken pipe.
    running_program first = start_program("/bin/sh", shell_args);
    program_guard first_guard(first);
    if (row.script == reader_gone) {
        ASSERT_TRUE(wait_for_output(first, "reader-gone", 15000, true)) << first.err;
    }
    running_program second = row.wrap_sender ? start_program(catchwire_path(), receiver_args)
                                             : start_program(pitchwire_path(), sender_args);
    program_guard second_guard(second);

    const program_result wrapped_end = finish_program(first, 30000);
    const program_result plain_end = finish_program(second, 30000);
    EXPECT_NE(wrapped_end.err.find("exit=0\n"), std::string::npos) << wrapped_end.err;
    EXPECT_EQ(plain_end.exit_status, 0) << plain_end.out;
    EXPECT_TRUE(read_file(dir + "/copy.img") == sent) << "the copy differs from the source";
}

INSTANTIATE_TEST_SUITE_P(
    Programs, BrokenOutput,
    testing::Values(broken_output{"SenderStdinAndStdoutClosed", true, streams_closed},
                    broken_output{"SenderReaderGone", true, reader_gone},
                    broken_output{"ReceiverStdinAndStdoutClosed", false, streams_closed},
                    broken_output{"ReceiverReaderGone", false, reader_gone}),
    [](const testing::TestParamInfo<broken_output>& info) { return std::string(info.param.name); });

}  // namespace
