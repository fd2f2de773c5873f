#include "file_size.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "output_capture.h"

namespace {

using wiretest::captured_stdout;

// A new file with no name, so nothing is left behind; the caller closes it.
int temporary_file() {
    return memfd_create("file_size_test", 0);
}

TEST(OpenFileSize, OrdinaryAndSparseFiveGibibyteFiles) {
    const int fd = temporary_file();
    ASSERT_GE(fd, 0);
    const std::string bytes(1000, 'z');
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), 1000);
    std::int64_t size = -7;
    EXPECT_EQ(open_file_size(&size, fd, "ordinary"), 0);
    EXPECT_EQ(size, 1000);

    // Beyond 32 bits, where a narrowed size would come out negative or short.
    const std::int64_t five_gibibytes = std::int64_t{5} << 30;
    EXPECT_EQ(ftruncate(fd, static_cast<off_t>(five_gibibytes)), 0);
    EXPECT_EQ(open_file_size(&size, fd, "sparse"), 0);
    EXPECT_EQ(size, five_gibibytes);
    close(fd);
}

TEST(OpenFileSize, PipeHasNoSizeUntilItEnds) {
    std::array<int, 2> ends{};
    ASSERT_EQ(pipe(ends.data()), 0);
    std::int64_t size = 0;
    EXPECT_EQ(open_file_size(&size, ends[0], "pipe"), 0);
    EXPECT_EQ(size, unknown_file_size);
    close(ends[0]);
    close(ends[1]);
}

TEST(OpenFileSize, ClosedDescriptorPrintsTwoLinesAndKeepsTheValue) {
    // A high number, so that the output capture's own file cannot reopen it.
    const int opened = temporary_file();
    const int fd = fcntl(opened, F_DUPFD, 900);
    close(opened);
    close(fd);
    ASSERT_GE(fd, 900);
    std::int64_t size = 12345;
    int status = 0;
    EXPECT_EQ(captured_stdout([&] { status = open_file_size(&size, fd, "image.bin"); }),
              "Error: Could not stat file image.bin\n"
              "Error: stat returned error: Bad file descriptor\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(size, 12345);
}

}  // namespace
