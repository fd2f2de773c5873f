#include "banner.h"

#include <gtest/gtest.h>

#include "output_capture.h"
#include "printed_text.h"

// The library leaves the title to each program; these tests stand in for the sender.
const char* const banner_title = "TCP/IP Data Transfer Utility for Win32 WINSOCK";

namespace {

using wiretest::captured_stdout;

const std::string title_block = wiretest::quiet_banner_of(banner_title);

TEST(Banner, FullAndQuietTexts) {
    EXPECT_EQ(captured_stdout([] { print_banner(0, 1, 34, "Sep 13 1999"); }),
              std::string("pitchwire/catchwire TCP/IP data transfer programs\n"
                          "Copyright (C) 2026 The pitchwire and catchwire developers\n"
                          "All rights reserved.\n"
                          "Project home: " WIRE_PROJECT_HOME "\n") +
                  title_block);
    EXPECT_EQ(captured_stdout([] { print_banner(1, 1, 34, "Sep 13 1999"); }), title_block);
}

}  // namespace
