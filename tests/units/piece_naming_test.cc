#include "piece_naming.h"

#include <gtest/gtest.h>

#include "receiver_options.h"
#include "receiver_state.h"

namespace {

// Numbering counts in the last three characters, past 999 too; names hold 511 characters at
// most, ".000" included, and a refused name leaves the last one standing. "-autosize" takes
// mebibytes up to the largest whose bytes fit in 64 bits; beyond that refused, not wrapped.
TEST(PieceNames, NumberingNameLimitAndSizeBeyond32Bits) {
    // clang-format off
    const std::pair<std::string_view, std::string_view> numbering[] = {
        {"d.9/IMAGE.099", "d.9/IMAGE.100"}, {"IMAGE.999", "IMAGE.1000"}, {"IMAGE.1000", "IMAGE.1001"}};
    const std::pair<const char*, std::uint64_t> sizes[] = {  // limit 0: refused
        {"4096", 4096ULL << 20}, {"17592186044415", 17592186044415ULL << 20}, {"99999999999999999999999", 0}};
    // clang-format on
    for (const auto& [current, next] : numbering) {
        EXPECT_EQ(next_auto_name(current), next);
    }
    EXPECT_EQ(make_first_auto_name(std::string(507, 'n')), 0);
    EXPECT_EQ(make_first_auto_name(std::string(508, 'n')), 1);
    EXPECT_EQ(output_name, std::string(507, 'n') + ".000");
    for (const auto& [value, limit] : sizes) {
        piece_limit = 7;
        EXPECT_EQ(parse_autosize_value(value), limit == 0 ? 1 : 0) << value;
        EXPECT_EQ(piece_limit, limit == 0 ? 7 : limit) << value;
    }
}

}  // namespace
