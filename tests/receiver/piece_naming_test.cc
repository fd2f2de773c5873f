#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "piece_manifest.h"
#include "piece_naming.h"
#include "receiver_options.h"
#include "receiver_state.h"

namespace {

TEST(ExtensionStart, LastDotOfTheFinalComponentOnly) {
    const std::string deep = std::string(1000, 'd') + "/" + std::string(300, 'n');
    const std::string deep_x = deep + ".x";
    // Each path with the part before its extension; "." and ".." have none.
    const std::string_view cases[][2] = {{"IMAGE.DAT", "IMAGE"},
                                         {"IMAGE.", "IMAGE"},
                                         {"IMAGE.tar.gz", "IMAGE.tar"},
                                         {"IMAGE", "IMAGE"},
                                         {"DIR.X\\IMAGE", "DIR.X\\IMAGE"},
                                         {"a.b/c.d\\e.f", "a.b/c.d\\e"},
                                         {"C:IMAGE.1", "C:IMAGE"},
                                         {"C:.", "C:."},
                                         {"C:..", "C:.."},
                                         {"dir/..", "dir/.."},
                                         {".", "."},
                                         {"dir/.hidden", "dir/"},
                                         {deep_x, deep},
                                         {"", ""}};
    for (const auto& [path, stem] : cases) {
        EXPECT_EQ(path.substr(0, extension_start(path)), stem) << path;
    }
}

TEST(NextAutoName, CountsInTheLastThreeCharacters) {
    EXPECT_EQ(next_auto_name("IMAGE.000"), "IMAGE.001");
    EXPECT_EQ(next_auto_name("d.9/IMAGE.099"), "d.9/IMAGE.100");
    EXPECT_EQ(next_auto_name("IMAGE.999"), "IMAGE.1000");
    EXPECT_EQ(next_auto_name("IMAGE.1000"), "IMAGE.1001");
}

TEST(MakeFirstAutoName, RefusesANameThatWouldPassTheNameLimit) {
    EXPECT_EQ(make_first_auto_name(std::string(507, 'n')), 0);
    EXPECT_EQ(make_first_auto_name(std::string(508, 'n')), 1);
    EXPECT_EQ(output_name, std::string(507, 'n') + ".000");
}

TEST(AutosizeValue, PieceSizesBeyondThirtyTwoBits) {
    ASSERT_EQ(parse_autosize_value("4096"), 0);
    EXPECT_EQ(piece_limit, 4096ULL << 20);
    ASSERT_EQ(parse_autosize_value("17592186044415"), 0);
    EXPECT_EQ(piece_limit, 17592186044415ULL << 20);
    EXPECT_EQ(parse_autosize_value("99999999999999999999999"), 1);
}

// A name with a backslash or a line end is escaped as sha256sum writes it, so that
// "sha256sum -c" finds the file.
TEST(ManifestLine, EscapesNamesAsSha256sumDoes) {
    const std::string_view cases[][2] = {{"IMAGE.000", "h  IMAGE.000\n"},
                                         {"a\\b.000", "\\h  a\\\\b.000\n"},
                                         {"a\nb\r.000", "\\h  a\\nb\\r.000\n"}};
    for (const auto& [name, line] : cases) {
        EXPECT_EQ(manifest_line("h", name), line) << name;
    }
}

}  // namespace
