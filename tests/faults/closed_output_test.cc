// Standard output closed (alone or with standard input), or a pipe whose reader has gone
// (as in "pitchwire ... | head -1"): the programs must not die of SIGPIPE, and the transfer
// itself must not suffer. A closed standard descriptor must never be taken over by a socket
// or the output file, or the messages would land in the data.

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "fault_support.h"
#include "program_runner.h"

namespace {

using namespace wiretest;
using namespace faulttest;

enum class broken_output { closed, streams_closed, reader_gone };

// Shell wrappers: "$0" is the program, the rest its arguments; the program's own exit
// status comes out on standard error as "exit=N" (141 would mean death by SIGPIPE).
constexpr const char* closed_script = R"("$0" "$@" >&-; echo "exit=$?" >&2)";
constexpr const char* streams_closed_script = R"("$0" "$@" <&- >&-; echo "exit=$?" >&2)";
constexpr const char* reader_gone_script =
    R"({ "$0" "$@"; echo "exit=$?" >&2; } | { head -n 1 >/dev/null; exec 0<&-; echo reader-gone >&2; })";

std::vector<std::string> wrapped(broken_output how, const std::string& program,
                                 std::vector<std::string> args) {
    const char* script = how == broken_output::closed           ? closed_script
                         : how == broken_output::streams_closed ? streams_closed_script
                                                                : reader_gone_script;
    std::vector<std::string> shell_args{"-c", script, program};
    shell_args.insert(shell_args.end(), args.begin(), args.end());
    return shell_args;
}

class BrokenOutput : public testing::TestWithParam<std::tuple<bool, broken_output>> {};

TEST_P(BrokenOutput, TransferIsUnaffected) {
    const auto [wrap_sender, how] = GetParam();
    const std::string dir = make_temp_dir();
    const std::string source = dir + "/source.img";
    const std::string copy = dir + "/copy.img";
    write_repeating_file(source, 8 << 20, 21);
    const std::string port_text = "-port=" + std::to_string(free_port());
    const std::vector<std::string> sender_args{port_text, source};
    const std::vector<std::string> receiver_args{port_text, "127.0.0.1", copy};

    // The wrapped program starts first; with a pipe, the other one only once the reader
    // has gone, so that every later write of the wrapped program meets a broken pipe.
    running_program first =
        wrap_sender ? start_program("/bin/sh", wrapped(how, pitchwire_path(), sender_args))
                    : start_program("/bin/sh", wrapped(how, catchwire_path(), receiver_args));
    program_guard first_guard(first);
    if (how == broken_output::reader_gone) {
        ASSERT_TRUE(wait_for_output(first, "reader-gone", 15000, true)) << first.err;
    }
    running_program second = wrap_sender ? start_program(catchwire_path(), receiver_args)
                                         : start_program(pitchwire_path(), sender_args);
    program_guard second_guard(second);

    const program_result wrapped_end = finish_program(first, 30000);
    const program_result plain_end = finish_program(second, 30000);
    EXPECT_FALSE(wrapped_end.timed_out);
    EXPECT_NE(wrapped_end.err.find("exit=0\n"), std::string::npos) << wrapped_end.err;
    EXPECT_EQ(plain_end.exit_status, 0) << plain_end.out;
    const std::string sent = read_file(source);
    const std::string received = read_file(copy);
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "the copy differs from the source";
}

INSTANTIATE_TEST_SUITE_P(Programs, BrokenOutput,
                         testing::Combine(testing::Bool(),
                                          testing::Values(broken_output::closed,
                                                          broken_output::streams_closed,
                                                          broken_output::reader_gone)),
                         [](const testing::TestParamInfo<std::tuple<bool, broken_output>>& info) {
                             const broken_output how = std::get<1>(info.param);
                             return std::string(std::get<0>(info.param) ? "Sender" : "Receiver") +
                                    (how == broken_output::closed           ? "StdoutClosed"
                                     : how == broken_output::streams_closed ? "StdinAndStdoutClosed"
                                                                            : "ReaderGone");
                         });

}  // namespace
