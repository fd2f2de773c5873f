#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "banner.h"
#include "output_capture.h"
#include "printed_text.h"
#include "program_runner.h"
#include "receiver_options.h"

namespace wiretest {
namespace {

const std::string usage =
    "\nUsage: recv [options] <ip_addr> <filename>\n"
    "       -           : No files, recv random data\n"
    "       -config     : Display TCP/IP configuration\n"
    "       -help       : Display command help\n"
    "       -autosize=n : Limit created files to n MB\n"
    "       -autoname   : Automatically name image files\n"
    "       -port       : Set TCP/IP Port Number\n"
    "       -sha256     : Print the SHA-256 of the stream and of each piece\n"
    "       -sha256=hex : Check the stream against the SHA-256 hex\n";
const std::string quiet_banner = wiretest::quiet_banner_of("TCP/IP Data Transfer Utility");

// Every run ends before a connection is made, and none may leave a file behind.
TEST(CommandLine, HelpAndEveryRefusal) {
    const std::string b = captured_stdout(print_full_banner);
    const std::string net = "Initializing TCP/IP Protocol Stack\n";
    const std::string extension_error =
        "\nError: Auto Naming is enabled and the file has an extension.\n";
    const std::string port_zero = "Error: Could not connect to host - TCP/IP error 10049\n";
    const std::string name_511(511, 'n');
    const std::string digest_error = "Error: -sha256= must be followed by 64 hexadecimal digits\n";
    const struct {
        std::vector<std::string> args;
        std::string out;
        int exit_status;
    } cases[] = {
        {{}, b + usage, 0},
        {{"-HELP"}, b + usage, 0},
        {{"/?"}, b + usage, 0},
        {{"-quiet", "-?"}, b + usage, 0},
        {{"-bogus", "-Help"}, b + "Error: Unknown argument: -bogus\n" + b + usage, 0},
        {{"-bogus", "--help"}, b + "Error: Unknown argument: -bogus\n" + b + usage, 0},
        {{"-h", "127.0.0.1", "f"}, b + usage, 0},
        {{"-bogus", "--version", "-h"}, "catchwire 1.34\n", 0},
        {{"-V"}, "catchwire 1.34\n", 0},
        {{"--Version", "-v"},
         b + "Error: Unknown argument: --Version\n" + b + "Error: Unknown argument: -v\n",
         1},
        {{"-x", "-port", "127.0.0.1", "f"},
         b + "Error: Unknown argument: -x\n" + b + "Error: Unknown argument: -port\n",
         1},
        {{"-quiet", "127.0.0.1", "a", "b"}, b + "Error: filename has already been specified\n", 1},
        {{"127.0.0.1", std::string(512, 'n')},
         b + "Error: File names are limited to 511 characters\n",
         1},
        {{"-autosize"}, "Error: Incomplete option to Auto Size\n", 1},
        {{"-AutoSizeX=1"}, "Error: Incomplete option to Auto Size\n", 1},
        {{"-autosize=", "127.0.0.1", "f"}, "Error: Missing size in -autosize option\n", 1},
        {{"-autosize=0", "127.0.0.1", "f"}, "Error: -autosize must be at least 1 MB\n", 1},
        {{"-autosize=99999999999999999999x"},
         "Error: found non decimal character in -autosize option\n",
         1},
        {{"-autosize=17592186044416"}, "Error: -autosize value is too large\n", 1},
        // Exactly 64 hexadecimal digits, checked before anything is created.
        {{"-sha256=" + std::string(63, 'a'), "127.0.0.1", "f"}, digest_error, 1},
        {{"-SHA256=" + std::string(65, 'F'), "127.0.0.1", "f"}, digest_error, 1},
        {{"-sha256=" + std::string(63, '0') + "g", "-help"}, digest_error, 1},
        {{"-port="}, "Error: Missing port number\n", 1},
        {{"-PORT=+80"}, "Error: Port numbers must be decimal characters\n", 1},
        // From here on the network has started.
        {{"-config", "127.0.0.1", "f"}, b + net, 1},
        {{"-quiet", "-pause", "-debug", "-config"}, quiet_banner + net, 1},
        {{"-autosize=2000", "-config"}, b + net, 1},
        {{"-autosize=2001", "-config"},
         "Warning: DOS files are limited to 2GB in size.\n" + b + net,
         1},
        {{"f"}, b + net + "Error: filename must be specified\n", 1},
        {{"-port=2000"}, b + net + "Error: ip_addr must be specified\n", 1},
        {{"0.0.0.0", "f"}, b + net + "\nError: Invalid destination TCP/IP address\n" + usage, 1},
        // Not even a valid host name, so the lookup fails without asking any name server.
        {{"no..such..host", "f"},
         b + net + "\nError: Invalid destination TCP/IP address\n" + usage,
         1},
        {{"127.0.0.1"}, b + net + "Error: filename must be specified\n", 1},
        {{"-autoname", "127.0.0.1", "IMAGE.DAT"}, b + net + extension_error, 1},
        {{"-autoname", "127.0.0.1", "dir/IMAGE."}, b + net + extension_error, 1},
        {{"127.0.0.1", name_511},
         b + net + "Error: Could not create file: " + name_511 + "\n       File name too long\n",
         1},
        {{"-port=0", "-", "127.0.0.1", "f"}, b + net + port_zero, 1},
        {{"-port=65536", "127.0.0.1", "f"}, b + net + port_zero, 1},
    };
    // The address line, where there is one, follows the network start-up.
    const std::regex address_line("(Protocol Stack\n)Local TCP/IP address: [0-9.]+\n");
    for (const auto& c : cases) {
        const std::string dir = make_temp_dir();
        run_options options;
        options.working_directory = dir;
        const program_result result = run_program(catchwire_path(), c.args, options);
        EXPECT_EQ(std::regex_replace(result.out, address_line, "$1"), c.out)
            << testing::PrintToString(c.args);
        EXPECT_EQ(result.exit_status, c.exit_status) << testing::PrintToString(c.args);
        EXPECT_TRUE(std::filesystem::is_empty(dir)) << testing::PrintToString(c.args);
    }
}

}  // namespace
}  // namespace wiretest
