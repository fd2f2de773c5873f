#include "piece_naming.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "piece_manifest.h"
#include "receiver_options.h"
#include "receiver_state.h"

namespace {

// Only the last dot of the final component starts an extension, which "-autoname" refuses;
// "." and ".." are none. Numbering counts in the last three characters, past 999 too.
TEST(PieceNames, ExtensionsAndNumbering) {
    // clang-format off
    const std::string_view extension_rows[][2] = {
        {"IMAGE.tar.gz", "IMAGE.tar"}, {"IMAGE.", "IMAGE"}, {"IMAGE", "IMAGE"}, {"DIR.X\\IMAGE", "DIR.X\\IMAGE"},
        {"a.b/c.d\\e.f", "a.b/c.d\\e"}, {"C:IMAGE.1", "C:IMAGE"}, {"C:..", "C:.."}, {"dir/..", "dir/.."},
        {".", "."}, {"dir/.hidden", "dir/"}};
    const std::string_view numbering_rows[][2] = {
        {"IMAGE.000", "IMAGE.001"}, {"d.9/IMAGE.099", "d.9/IMAGE.100"}, {"IMAGE.999", "IMAGE.1000"},
        {"IMAGE.1000", "IMAGE.1001"}};
    // clang-format on
    for (const auto& [path, stem] : extension_rows) {
        EXPECT_EQ(path.substr(0, extension_start(path)), stem) << path;
    }
    for (const auto& [current, next] : numbering_rows) {
        EXPECT_EQ(next_auto_name(current), next);
    }
}

// Names hold 511 characters at most, ".000" included.
TEST(PieceNames, FirstNumberedNameWithinTheNameLimit) {
    EXPECT_EQ(make_first_auto_name(std::string(507, 'n')), 0);
    EXPECT_EQ(output_name, std::string(507, 'n') + ".000");
    testing::internal::CaptureStdout();
    EXPECT_EQ(make_first_auto_name(std::string(508, 'n')), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: File names are limited to 511 characters\n");
    EXPECT_EQ(output_name, std::string(507, 'n') + ".000");
}

// Mebibytes up to the largest whose bytes fit in 64 bits; beyond that refused, not wrapped.
TEST(PieceNames, AutosizeBeyond32Bits) {
    // clang-format off
    const std::pair<const char*, std::uint64_t> rows[] = {  // limit 0: refused
        {"1", 1ULL << 20}, {"4096", 4096ULL << 20}, {"17592186044415", 17592186044415ULL << 20},
        {"17592186044416", 0}, {"99999999999999999999999", 0}, {"0", 0}, {"", 0}};
    // clang-format on
    for (const auto& [value, limit] : rows) {
        piece_limit = 7;
        testing::internal::CaptureStdout();
        EXPECT_EQ(parse_autosize_value(value), limit == 0 ? 1 : 0) << value;
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(piece_limit, limit == 0 ? 7 : limit) << value;
    }
}

// A backslash or a line end in a name is escaped as sha256sum writes it, so that
// "sha256sum -c" finds the file.
TEST(PieceNames, ManifestLinesEscapeAsSha256sumDoes) {
    EXPECT_EQ(manifest_line("h", "IMAGE.000"), "h  IMAGE.000\n");
    EXPECT_EQ(manifest_line("h", "a\\b.000"), "\\h  a\\\\b.000\n");
    EXPECT_EQ(manifest_line("h", "a\nb\r.000"), "\\h  a\\nb\\r.000\n");
}

}  // namespace
