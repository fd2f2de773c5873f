#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "receiver_test_support.h"

namespace wiretest {
namespace {

constexpr std::size_t mib = 1048576;

TEST(Splitting, OperatorNamesEachPieceOnceItsDataHasArrived) {
    const std::string stream = random_bytes(3 * mib + 5);
    run_options input;
    input.stdin_open = true;
    receiver_run run({"-autosize=1", "ONE"}, input);
    run.send(stream.substr(0, mib));
    EXPECT_TRUE(run.wait_for_size("ONE", mib));
    EXPECT_FALSE(wait_for_output(run.receiver, "Enter new filename", 300));
    run.send(stream.substr(mib, mib));
    EXPECT_TRUE(wait_for_output(run.receiver, "Enter new filename [Q]: "));
    write_stdin(run.receiver, "\n");
    EXPECT_TRUE(wait_for_output(run.receiver, "[Q]: Enter new filename [Q]: "));
    write_stdin(run.receiver, "missing/TWO\n");
    EXPECT_TRUE(wait_for_output(run.receiver, "directory\nEnter new filename [Q]: "));
    write_stdin(run.receiver, "TWO\n");
    EXPECT_TRUE(run.wait_for_size("TWO", mib));
    run.send(stream.substr(2 * mib));
    EXPECT_TRUE(wait_for_output(run.receiver, "end of file TWO\nEnter new"));
    // A finished piece is refused under any name, and stays whole.
    write_stdin(run.receiver, "./ONE\n");
    EXPECT_TRUE(wait_for_output(
        run.receiver,
        "Error: ./ONE is a piece already written in this run\nEnter new filename [Q]: "));
    write_stdin(run.receiver, "THREE\n");
    // The last 5 bytes fill no buffer: FOUR is asked for only once the stream has ended.
    run.end_stream();
    EXPECT_TRUE(wait_for_output(run.receiver, "end of file THREE\nEnter new"));
    write_stdin(run.receiver, "FOUR\n");
    const program_result result = run.finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(run.file("ONE") + run.file("TWO") + run.file("THREE") + run.file("FOUR"), stream);
    EXPECT_EQ(run.size("FOUR"), 5);
    EXPECT_NE(without_status_lines(result.out)
                  .find("\nReached the end of file ONE\nEnter new filename [Q]: "
                        "Enter new filename [Q]: Creating file: \"missing/TWO\"\n"
                        "\nError: Could not create file: missing/TWO\n"
                        "Error: No such file or directory\n"
                        "Enter new filename [Q]: Creating file: \"TWO\"\n"
                        "Reached the end of file TWO\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(without_status_lines(result.out)
                  .find("Creating file: \"FOUR\"\n\nSuccessfully received 3,145,733 bytes at "),
              std::string::npos);
}

// "q" stops the pieces at once: the summary counts what arrived, and nothing is deleted or
// created after the first piece.
TEST(Splitting, QuitStopsKeepingThePieces) {
    const std::string stream = random_bytes(2 * mib);
    run_options input;
    input.stdin_text = "q\n";
    receiver_run run({"-autosize=1", "ONE"}, input);
    run.send(stream);
    const program_result result = run.finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NE(result.out.find("Successfully received 1,081,344 bytes at "), std::string::npos);
    EXPECT_EQ(run.file("ONE"), stream.substr(0, mib));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(run.dir), {}), 1);
}

// Numbered pieces hold exactly their share and none is empty; "-autoname" alone names one file.
TEST(Splitting, NumberedPiecesAreExactAndNoneIsEmpty) {
    const struct {
        std::vector<std::string> args;
        std::size_t size;
        std::size_t piece_size;
    } cases[] = {{{"-autosize=1", "-autoname", "IMAGE"}, 3 * mib + 5, mib},
                 {{"-autosize=1", "-autoname", "IMAGE"}, 2 * mib, mib},
                 {{"-autoname", "IMAGE"}, 2 * mib + 1, 3 * mib}};
    for (const auto& c : cases) {
        const std::string stream = random_bytes(c.size);
        receiver_run run(c.args);
        run.send(stream);
        const program_result result = run.finish();
        EXPECT_EQ(result.exit_status, 0);
        std::string joined;
        for (std::size_t number = 0; number < 4; ++number) {
            const std::string piece = "IMAGE.00" + std::to_string(number);
            const std::size_t start = number * c.piece_size;
            const long long expected =
                start < c.size ? static_cast<long long>(std::min(c.piece_size, c.size - start))
                               : -1;
            EXPECT_EQ(run.size(piece), expected) << piece << " of " << c.size;
            EXPECT_EQ(result.out.find("Creating file: \"" + piece + "\"\n") != std::string::npos,
                      expected >= 0);
            joined += run.file(piece);
        }
        EXPECT_EQ(joined, stream);
        EXPECT_EQ(result.out.find("Reached the end"), std::string::npos);
    }
}

}  // namespace
}  // namespace wiretest
