#include "piece_naming.h"

#include <gtest/gtest.h>

#include "receiver_options.h"
#include "receiver_state.h"

// Numbering counts in the last three characters, past 999 too; names hold 511 characters at
// most, ".000" included, and a refused name leaves the last one standing. "-autosize" takes
// mebibytes up to the largest whose bytes fit in 64 bits; beyond that refused, not wrapped,
// and the last size stands.
TEST(PieceNames, NumberingNameLimitAndSizeBeyond32Bits) {
    EXPECT_EQ(next_auto_name("d.9/IMAGE.099"), "d.9/IMAGE.100");
    EXPECT_EQ(next_auto_name("IMAGE.999"), "IMAGE.1000");
    EXPECT_EQ(next_auto_name("IMAGE.1000"), "IMAGE.1001");
    EXPECT_EQ(make_first_auto_name(std::string(507, 'n')), 0);
    EXPECT_EQ(make_first_auto_name(std::string(508, 'n')), 1);
    EXPECT_EQ(output_name, std::string(507, 'n') + ".000");
    EXPECT_EQ(parse_autosize_value("17592186044415"), 0);
    EXPECT_EQ(parse_autosize_value("99999999999999999999999"), 1);
    EXPECT_EQ(piece_limit, 17592186044415ULL << 20);
}
