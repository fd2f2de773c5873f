#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "receiver_test_support.h"

namespace wiretest {
namespace {

const std::string usage =
    "\nUsage: recv [options] <ip_addr> <filename>\n"
    "       -           : No files, recv random data\n"
    "       -config     : Display TCP/IP configuration\n"
    "       -help       : Display command help\n"
    "       -autosize=n : Limit created files to n MB\n"
    "       -autoname   : Automatically name image files\n"
    "       -port       : Set TCP/IP Port Number\n";
const std::string quiet_banner = "\nTCP/IP Data Transfer Utility\nVersion 1.34 Sep 13 1999\n\n";

struct command_case {
    std::vector<std::string> args;
    std::string out;  // after the network start-up and the local address line, if reached
    int exit_status;
};

// Runs catchwire in an empty directory and checks that nothing was left in it.
program_result run_in_empty_dir(const std::vector<std::string>& args) {
    const std::string dir = make_temp_dir();
    run_options options;
    options.working_directory = dir;
    program_result result = run_program(catchwire_path(), args, options);
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << args.back();
    return result;
}

TEST(CommandLine, RefusedBeforeTheNetworkStarts) {
    const std::string b = full_banner();
    const std::string long_name(512, 'n');
    const std::vector<command_case> cases = {
        {{}, b + usage, 0},
        {{"-HELP"}, b + usage, 0},
        {{"/?"}, b + usage, 0},
        {{"-quiet", "-?"}, b + usage, 0},
        {{"-bogus", "-Help"}, b + "Error: Unknown argument: -bogus\n" + b + usage, 0},
        {{"-x", "-port", "127.0.0.1", "f"},
         b + "Error: Unknown argument: -x\n" + b + "Error: Unknown argument: -port\n",
         1},
        {{"-quiet", "127.0.0.1", "a", "b"}, b + "Error: filename has already been specified\n", 1},
        {{"127.0.0.1", long_name}, b + "Error: File names are limited to 511 characters\n", 1},
        {{"-autosize"}, "Error: Incomplete option to Auto Size\n", 1},
        {{"-AutoSizeX=1"}, "Error: Incomplete option to Auto Size\n", 1},
        {{"-autosize=", "127.0.0.1", "f"}, "Error: Missing size in -autosize option\n", 1},
        {{"-autosize=0", "127.0.0.1", "f"}, "Error: -autosize must be at least 1 MB\n", 1},
        {{"-autosize=99999999999999999999x"},
         "Error: found non decimal character in -autosize option\n",
         1},
        {{"-autosize=17592186044416"}, "Error: -autosize value is too large\n", 1},
        {{"-port="}, "Error: Missing port number\n", 1},
        {{"-PORT=+80"}, "Error: Port numbers must be decimal characters\n", 1},
    };
    for (const command_case& c : cases) {
        const program_result result = run_in_empty_dir(c.args);
        EXPECT_EQ(result.out, c.out) << testing::PrintToString(c.args);
        EXPECT_EQ(result.exit_status, c.exit_status) << testing::PrintToString(c.args);
    }
}

TEST(CommandLine, RefusedAfterTheNetworkStarts) {
    const std::string extension_error =
        "\nError: Auto Naming is enabled and the file has an extension.\n";
    const std::string name_511(511, 'n');
    const std::vector<command_case> cases = {
        {{"-config", "127.0.0.1", "f"}, "", 1},
        {{"-quiet", "-pause", "-debug", "-config"}, "", 1},
        {{"-autosize=2000", "-config"}, "", 1},
        {{"-autosize=2001", "-config"}, "", 1},
        {{"f"}, "Error: filename must be specified\n", 1},
        {{"-port=2000"}, "Error: ip_addr must be specified\n", 1},
        {{"0.0.0.0", "f"}, "\nError: Invalid destination TCP/IP address\n" + usage, 1},
        {{"127.0.0.1"}, "Error: filename must be specified\n", 1},
        {{"-autoname", "127.0.0.1", "IMAGE.DAT"}, extension_error, 1},
        {{"-autoname", "127.0.0.1", "dir/IMAGE."}, extension_error, 1},
        {{"127.0.0.1", name_511},
         "Error: Could not create file: " + name_511 + "\n       File name too long\n",
         1},
        {{"-port=0", "-", "127.0.0.1", "f"},
         "Error: Could not connect to host - TCP/IP error 10049\n",
         1},
        {{"-port=65536", "127.0.0.1", "f"},
         "Error: Could not connect to host - TCP/IP error 10049\n",
         1},
    };
    for (const command_case& c : cases) {
        const program_result result = run_in_empty_dir(c.args);
        std::string start = c.args[0] == "-quiet" ? quiet_banner : full_banner();
        if (c.args[0] == "-autosize=2001") {
            start.insert(0, "Warning: DOS files are limited to 2GB in size.\n");
        }
        start += "Initializing TCP/IP Protocol Stack\n";
        const std::size_t rest = result.out.find('\n', start.size()) + 1;
        EXPECT_EQ(result.out.substr(0, start.size()), start) << testing::PrintToString(c.args);
        EXPECT_EQ(result.out.substr(rest), c.out) << testing::PrintToString(c.args);
        EXPECT_EQ(result.exit_status, c.exit_status) << testing::PrintToString(c.args);
    }
}

}  // namespace
}  // namespace wiretest
