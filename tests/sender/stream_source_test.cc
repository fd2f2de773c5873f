// Sources whose size the file system does not give: a block device, sized by its own query,
// and a pipe or a FIFO, read to their end of input. Each is sent whole, counts as complete,
// and the next file follows on the same stream to catchwire.

#include <ostream>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "program_runner.h"

namespace {

using namespace wiretest;

// The first file's bytes come from "first" in two parts two seconds apart, so that the
// sender shows a progress line between them.
#define SLOW_FEED "{ head -c 1572864 first; sleep 2.1; tail -c +1572865 first; }"

struct source_case {
    const char* name;
    // Runs "$@" (pitchwire and its port option) with the source and then "second".
    const char* script;
    bool sized;
};

void PrintTo(const source_case& row, std::ostream* out) {
    *out << row.name;
}

class StreamSource : public testing::TestWithParam<source_case> {};

TEST_P(StreamSource, IsSentWholeAndTheNextFileFollows) {
    const source_case& row = GetParam();
    const std::string dir = make_temp_dir();
    const std::string first = random_bytes(3 << 20, 41);
    const std::string second = random_bytes(99999, 43);
    write_file(dir + "/first", first);
    write_file(dir + "/second", second);
    const std::string stream = first + second;
    run_options in_dir;
    in_dir.working_directory = dir;
    const std::string port = "-port=" + std::to_string(free_port());
    running_program sender =
        start_program("/bin/sh",
                      {"-c", std::string("PATH=/usr/sbin:/sbin:$PATH; ") + row.script, "sh",
                       pitchwire_path(), port},
                      in_dir);
    program_guard sender_guard(sender);
    if (!wait_for_output(sender, "Waiting for connection")) {
        const program_result failed = finish_program(sender);
        if (failed.exit_status == 99) {
            GTEST_SKIP() << "needs root and a free loop device: " << failed.err;
        }
        FAIL() << failed.out << failed.err;
    }
    const program_result received =
        run_program(catchwire_path(), {port, "127.0.0.1", dir + "/copy"});
    const program_result sent = finish_program(sender);

    EXPECT_EQ(sent.exit_status, 0) << sent.out;
    EXPECT_EQ(received.exit_status, 0) << received.out;
    EXPECT_TRUE(read_file(dir + "/copy") == stream) << "the copy is not both files in order";
    EXPECT_EQ(count_after(sent.out, "Successfully sent "), stream.size());
    EXPECT_EQ(text_after(sent.out, "TCPIP Data Checksum: "), checksum_hex(stream));
    // A device shows its size; a stream, whose size is known only at its end, what has been
    // sent of it so far.
    static const std::regex progress("Send: Offset ([0-9,]+), FileSize: ([0-9,]+) KBS: ");
    int lines = 0;
    for (std::sregex_iterator line(sent.out.begin(), sent.out.end(), progress), end; line != end;
         ++line, ++lines) {
        EXPECT_EQ((*line)[2], row.sized ? "3,145,728" : (*line)[1].str());
    }
    EXPECT_TRUE(row.sized || lines > 0) << "no progress line while the stream came";
}

INSTANTIATE_TEST_SUITE_P(
    Sender, StreamSource,
    testing::Values(
        source_case{"LoopDevice",
                    "dev=$(losetup --find --show first) || exit 99; \"$@\" \"$dev\" second; "
                    "status=$?; losetup -d \"$dev\"; exit $status",
                    true},
        source_case{"Pipe", SLOW_FEED " | \"$@\" /dev/stdin second", false},
        source_case{"Fifo", "mkfifo fifo && { " SLOW_FEED " > fifo & } && exec \"$@\" fifo second",
                    false}),
    [](const testing::TestParamInfo<source_case>& info) { return std::string(info.param.name); });

}  // namespace
