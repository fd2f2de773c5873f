// pitchwire's command line: exact output and exit status of every way it can end before
// a connection is made.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "program_runner.h"
#include "sender_test_support.h"

namespace {

using sendertest::full_banner;
using sendertest::quiet_banner;
using sendertest::usage_text;
using wiretest::pitchwire_path;
using wiretest::run_program;

struct expected_run {
    std::vector<std::string> args;
    std::string out;
    int status;
};

void expect_runs(const std::vector<expected_run>& runs) {
    for (const expected_run& run : runs) {
        const auto result = run_program(pitchwire_path(), run.args);
        const std::string label = run.args.empty() ? "(none)" : run.args.front();
        EXPECT_EQ(result.out, run.out) << label;
        EXPECT_EQ(result.exit_status, run.status) << label;
    }
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

TEST(SenderCommandLine, BareCallAndHelpFormsPrintFullBannerAndUsage) {
    // The full banner is four notice lines followed by the quiet banner.
    const std::string& banner = full_banner();
    ASSERT_GT(banner.size(), quiet_banner.size());
    EXPECT_EQ(banner.substr(banner.size() - quiet_banner.size()), quiet_banner);
    const std::string notices = banner.substr(0, banner.size() - quiet_banner.size());
    EXPECT_EQ(std::count(notices.begin(), notices.end(), '\n'), 4);

    const std::string help = full_banner() + usage_text;
    expect_runs({
        {{}, help, 0},
        {{"-help"}, help, 0},
        {{"-?"}, help, 0},
        {{"/?"}, help, 0},
        {{"-HeLp"}, help, 0},
        // "-quiet" does not shorten the banner that comes with the usage text.
        {{"-quiet", "-help", "-x"}, help, 0},
        {{"-help", "no-such-file"}, help, 0},
    });
}

TEST(SenderCommandLine, UnknownArgumentsAreEachReported) {
    expect_runs({
        {{"-x", "-help"}, unknown("-x") + full_banner() + usage_text, 0},
        {{"-x", "-y", "file"}, unknown("-x") + unknown("-y"), 1},
        {{"-quiet", "-pauses"}, unknown("-pauses"), 1},
        {{"--"}, unknown("--"), 1},
    });
}

TEST(SenderCommandLine, SizeOptionErrorsStopParsing) {
    expect_runs({
        {{"-readsize"}, size_error("readsize", false), 1},
        {{"-readsize="}, size_error("readsize", false), 1},
        {{"-readsizes=4"}, size_error("readsize", false), 1},
        {{"-readsize=12k"}, size_error("readsize", true), 1},
        {{"-readsize=-1"}, size_error("readsize", true), 1},
        {{"-SENDSIZE"}, size_error("sendsize", false), 1},
        {{"-sendsize=+8"}, size_error("sendsize", true), 1},
        // Stops at the first bad value: neither the help option nor the second error is seen.
        {{"-readsize=1k", "-help"}, size_error("readsize", true), 1},
        {{"-sendsize=", "-readsize=x"}, size_error("sendsize", false), 1},
    });
}

TEST(SenderCommandLine, PortErrorsPrintNoBanner) {
    expect_runs({
        {{"-port="}, "Error: Missing port number\n", 1},
        {{"-port=12a", "-help"}, "Error: Port numbers must be decimal characters\n", 1},
        {{"-PORT=-80"}, "Error: Port numbers must be decimal characters\n", 1},
    });
}

TEST(SenderCommandLine, NothingToSend) {
    const std::string dir = wiretest::make_temp_dir();
    wiretest::write_file(dir + "/present", "x");
    expect_runs({
        {{"-quiet"}, quiet_banner + usage_text + "\nError: missing filename\n", 1},
        {{"-test"}, full_banner() + usage_text + "\nError: missing filename\n", 1},
        {{"-quiet", dir + "/absent"},
         quiet_banner + "Error: File " + dir + "/absent does not exist\n",
         1},
        {{"-quiet", dir + "/present/below"},
         quiet_banner + "Error: File " + dir + "/present/below Not a directory\n",
         1},
    });
}

TEST(SenderCommandLine, OverlongFileNameIsRefusedWithoutEchoingIt) {
    const std::string limit_error =
        full_banner() + "Error: File names are limited to 511 characters\n";
    expect_runs({
        {{"-quiet", std::string(600, 'n')}, limit_error, 1},
        {{std::string(512, 'n'), "-help"}, limit_error, 1},
    });
    // 511 characters are still a name: the existence check answers for it.
    const auto result = run_program(pitchwire_path(), {"-quiet", std::string(511, 'n')});
    EXPECT_EQ(result.out.find("limited"), std::string::npos);
    EXPECT_EQ(result.out.rfind(quiet_banner + "Error: File nnn", 0), 0U);
    EXPECT_EQ(result.exit_status, 1);
}

TEST(SenderCommandLine, ConfigStopsAfterTheLocalAddress) {
    const std::regex config_out(quiet_banner +
                                "Initializing TCP/IP Protocol Stack\n"
                                "(Local TCP/IP address: [0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+\n)?");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-quiet", "-config"}, {"-CONFIG", "-Quiet", "no-such-file"}}) {
        const auto result = run_program(pitchwire_path(), args);
        EXPECT_TRUE(std::regex_match(result.out, config_out)) << result.out;
        EXPECT_EQ(result.exit_status, 1);
    }
}

// The values in force after the sizing rules, as "-debug" shows them.
TEST(SenderCommandLine, DebugShowsSizesAfterTheRules) {
    const std::string twenty_digits = "98765432109876543210";
    struct sizes_case {
        std::vector<std::string> args;
        int read;
        int send;
    };
    const std::vector<sizes_case> cases{
        {{}, 4096, 32768},
        {{"-readsize=0", "-sendsize=0"}, 4096, 32768},
        {{"-readsize=65536", "-sendsize=65536"}, 32768, 32768},
        {{"-readsize=32768", "-sendsize=32767"}, 32768, 32767},
        {{"-readsize=" + twenty_digits, "-sendsize=" + twenty_digits}, 32768, 32768},
        {{"-readsize=2147483648", "-sendsize=4294967297"}, 32768, 32768},
        {{"-READSIZE=00512"}, 512, 32768},
        // Generated data: the read size is the generated block, whatever "-readsize" says.
        {{"-", "-readsize=100"}, 16384, 32768},
        {{"-", "-sendsize=100000"}, 16384, 32768},
        {{"-", "-sendsize=8000"}, 8000, 8000},
    };
    // The address line, where there is one, stands right before the notice.
    const std::regex address_line("(Protocol Stack\n)Local TCP/IP address: [^\n]*\n");
    for (const sizes_case& entry : cases) {
        std::vector<std::string> args{"-quiet", "-config", "-debug"};
        args.insert(args.end(), entry.args.begin(), entry.args.end());
        const auto result = run_program(pitchwire_path(), args);
        const std::string expected =
            quiet_banner + "Initializing TCP/IP Protocol Stack\n\n" +
            "Notice: Setting read buffer size to " + std::to_string(entry.read) + " bytes\n" +
            "Notice: Setting send buffer size to " + std::to_string(entry.send) + " bytes\n\n";
        EXPECT_EQ(std::regex_replace(result.out, address_line, "$1"), expected)
            << entry.args.size();
        EXPECT_EQ(result.exit_status, 1);
    }
}

}  // namespace
