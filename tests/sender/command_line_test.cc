// pitchwire's command line: exact output and exit status of every way it can end before
// a connection is made.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "sender_test_support.h"

namespace {

using sendertest::quiet_banner;
using wiretest::pitchwire_path;
using wiretest::run_program;

const std::string usage_text =
    "\nUsage: send [options] file1 [file2] [filen]\n"
    "       -           : No files, send random data\n"
    "       -config     : Display TCP/IP configuration\n"
    "       -help       : Display command help\n"
    "       -pause      : Pause before each file to insert new media\n"
    "       -port       : Set TCP/IP Port Number\n"
    "       -readsize=n : Set disk read buffer size to n bytes\n"
    "       -sendsize=n : Set send buffer size to n bytes\n"
    "       -sha256     : Print the SHA-256 of the stream\n";

// The full banner as the bare call prints it before the usage text: the common notice lines
// (whose wording the library's tests fix), then the quiet banner.
std::string full_banner() {
    static const std::string out = run_program(pitchwire_path(), {}).out;
    return out.ends_with(usage_text) ? out.substr(0, out.size() - usage_text.size()) : "(none)";
}

std::string unknown(const std::string& argument) {
    return full_banner() + "Error: Unknown argument: " + argument + "\n";
}

std::string size_error(const std::string& name, bool non_decimal) {
    return full_banner() +
           (non_decimal ? "Error: found non decimal character in -" + name + " option\n"
                        : "Error: missing option to -" + name + "\n") +
           "Usage: -" + name + "=n\n";
}

TEST(SenderCommandLine, HelpAndEveryRefusalBeforeTheNetwork) {
    const std::string dir = wiretest::make_temp_dir();
    wiretest::write_file(dir + "/present", "x");
    const std::string help = full_banner() + usage_text;
    ASSERT_TRUE(full_banner().ends_with(quiet_banner));
    EXPECT_EQ(std::count(help.begin(), help.end() - quiet_banner.size() - usage_text.size(), '\n'),
              4);
    const std::string port_digits = "Error: Port numbers must be decimal characters\n";
    const std::string name_limit =
        full_banner() + "Error: File names are limited to 511 characters\n";
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } runs[] = {
        {{}, help, 0},
        {{"-?"}, help, 0},
        {{"/?"}, help, 0},
        {{"-HeLp"}, help, 0},
        // "-quiet" does not shorten the banner that comes with the usage text.
        {{"-quiet", "-help", "-x"}, help, 0},
        {{"-help", "no-such-file"}, help, 0},
        {{"-x", "-help"}, unknown("-x") + help, 0},
        // The Unix forms are matched whole and exactly, and win wherever they stand.
        {{"--help"}, help, 0},
        {{"-x", "-h"}, unknown("-x") + help, 0},
        {{"--version"}, "pitchwire 1.34\n", 0},
        {{"-port=x", "-V", "--help"}, "pitchwire 1.34\n", 0},
        {{"--HELP", "-H", "-v", "--version=1"},
         unknown("--HELP") + unknown("-H") + unknown("-v") + unknown("--version=1"),
         1},
        {{"-x", "-y", "file"}, unknown("-x") + unknown("-y"), 1},
        {{"-quiet", "-pauses"}, unknown("-pauses"), 1},
        {{"--"}, unknown("--"), 1},
        {{"-readsize"}, size_error("readsize", false), 1},
        {{"-readsize="}, size_error("readsize", false), 1},
        {{"-readsizes=4"}, size_error("readsize", false), 1},
        {{"-readsize=12k"}, size_error("readsize", true), 1},
        {{"-readsize=-1"}, size_error("readsize", true), 1},
        {{"-SENDSIZE"}, size_error("sendsize", false), 1},
        {{"-sendsize=+8"}, size_error("sendsize", true), 1},
        // Parsing stops at the first bad value: no help, no second error.
        {{"-readsize=1k", "-help"}, size_error("readsize", true), 1},
        {{"-sendsize=", "-readsize=x"}, size_error("sendsize", false), 1},
        // The sender has no digest to compare with.
        {{"-SHA256=ab", "-help"},
         full_banner() + "Error: -sha256 takes no value: the sender has nothing to compare with\n",
         1},
        {{"-port="}, "Error: Missing port number\n", 1},
        {{"-port=12a", "-help"}, port_digits, 1},
        {{"-PORT=-80"}, port_digits, 1},
        {{"-quiet"}, quiet_banner + usage_text + "\nError: missing filename\n", 1},
        {{"-test"}, help + "\nError: missing filename\n", 1},
        {{"-quiet", dir + "/absent"},
         quiet_banner + "Error: File " + dir + "/absent does not exist\n",
         1},
        {{"-quiet", dir + "/present/below"},
         quiet_banner + "Error: File " + dir + "/present/below Not a directory\n",
         1},
        // An overlong name is refused without being echoed; 511 characters are still a name.
        {{"-quiet", std::string(600, 'n')}, name_limit, 1},
        {{std::string(512, 'n'), "-help"}, name_limit, 1},
        {{"-quiet", std::string(511, 'n')},
         quiet_banner + "Error: File " + std::string(511, 'n') + " File name too long\n",
         1},
    };
    for (const auto& run : runs) {
        const auto result = run_program(pitchwire_path(), run.args);
        const std::string label = run.args.empty() ? "(none)" : run.args.front();
        EXPECT_EQ(result.out, run.out) << label;
        EXPECT_EQ(result.exit_status, run.status) << label;
    }
}

// "-config" stops after the local address; "-debug" first shows the sizes in force after
// the sizing rules.
TEST(SenderCommandLine, ConfigStopsAndDebugShowsSizesAfterTheRules) {
    const std::string twenty_digits = "98765432109876543210";
    const struct {
        std::vector<std::string> args;
        int read;  // 0: no notice lines
        int send;
    } cases[] = {
        {{"-quiet", "-config"}, 0, 0},
        {{"-CONFIG", "-Quiet", "no-such-file"}, 0, 0},
        {{"-debug"}, 4096, 32768},
        {{"-debug", "-readsize=0", "-sendsize=0"}, 4096, 32768},
        {{"-debug", "-readsize=65536", "-sendsize=65536"}, 32768, 32768},
        {{"-debug", "-readsize=32768", "-sendsize=32767"}, 32768, 32767},
        {{"-debug", "-readsize=" + twenty_digits, "-sendsize=" + twenty_digits}, 32768, 32768},
        {{"-debug", "-readsize=2147483648", "-sendsize=4294967297"}, 32768, 32768},
        {{"-debug", "-READSIZE=00512"}, 512, 32768},
        // Generated data: the read size is the generated block, whatever "-readsize" says.
        {{"-debug", "-", "-readsize=100"}, 16384, 32768},
        {{"-debug", "-", "-sendsize=100000"}, 16384, 32768},
        {{"-debug", "-", "-sendsize=8000"}, 8000, 8000},
    };
    // The address line, where there is one, stands right before the notices.
    const std::regex address_line("(Protocol Stack\n)Local TCP/IP address: [0-9.]+\n");
    for (const auto& entry : cases) {
        std::vector<std::string> args{"-quiet", "-config"};
        args.insert(args.end(), entry.args.begin(), entry.args.end());
        const auto result = run_program(pitchwire_path(), args);
        std::string expected = quiet_banner + "Initializing TCP/IP Protocol Stack\n";
        if (entry.read != 0) {
            expected += "\nNotice: Setting read buffer size to " + std::to_string(entry.read) +
                        " bytes\nNotice: Setting send buffer size to " +
                        std::to_string(entry.send) + " bytes\n\n";
        }
        EXPECT_EQ(std::regex_replace(result.out, address_line, "$1"), expected) << args.back();
        EXPECT_EQ(result.exit_status, 1);
    }
}

}  // namespace
