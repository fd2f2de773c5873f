// pitchwire alone, against a plain client of the test's own, or refusing its command line.

#include <csignal>

#include "runner.h"

namespace wt {
namespace {

std::string unknown(const std::string& argument) {
    return "{bannerS}Error: Unknown argument: " + argument + "\n";
}

std::string size_error(const std::string& option, bool non_decimal) {
    return "{bannerS}" +
           (non_decimal ? "Error: found non decimal character in -" + option + " option\n"
                        : "Error: missing option to -" + option + "\n") +
           "Usage: -" + option + "=n\n";
}

// "-config" stops after the start-up; "-debug" first shows the sizes in force.
row sizes(const std::string& name, std::vector<std::string> args, int read_size, int send_size) {
    args.insert(args.begin(), {"-quiet", "-config", "-debug"});
    return {.name = name, .sender = args, .sender_status = 1,
            .out = "{quietS}Initializing TCP/IP Protocol Stack\n\nNotice: Setting read buffer size to " +
                   std::to_string(read_size) + " bytes\nNotice: Setting send buffer size to " +
                   std::to_string(send_size) + " bytes\n\n"};
}

const std::string help = "{bannerS}{usageS}";
const std::string version = "pitchwire 1.34\n";
const std::string name_limit = "{bannerS}Error: File names are limited to 511 characters\n";
const std::string digits = "Error: Port numbers must be decimal characters\n";
const std::string prompt = "Enter new filename or press [ENTER] when ready or \"Q\" to quit: ";
const std::string waiting = "{quietS}Initializing TCP/IP Protocol Stack\nWaiting for connection [ESC to abort] ... ";
const std::string aborting = "\nAborting connection ... \n";

}  // namespace

std::vector<row> sender_rows() {
    return {
        {.name = "bare_call_is_help", .bare = S, .out = help},
        {.name = "help_forms", .sender = {"-?"}, .out = help},
        {.name = "slash_help", .sender = {"/?"}, .out = help},
        {.name = "help_in_any_case_after_quiet", .sender = {"-quiet", "-HeLp", "-x"}, .out = help},
        {.name = "help_wins_over_files", .sender = {"-help", "no-such-file"}, .out = help},
        {.name = "unknown_then_help", .sender = {"-x", "-help"}, .out = unknown("-x") + help},
        {.name = "unix_help", .sender = {"--help"}, .out = help},
        {.name = "unix_short_help_after_unknown", .sender = {"-x", "-h"}, .out = unknown("-x") + help},
        {.name = "version", .sender = {"--version"}, .out = version},
        {.name = "version_wins_everywhere", .sender = {"-port=x", "-V", "--help"}, .out = version},
        {.name = "unix_forms_are_exact", .sender = {"--HELP", "-H", "-v", "--version=1"}, .sender_status = 1,
         .out = unknown("--HELP") + unknown("-H") + unknown("-v") + unknown("--version=1")},
        {.name = "every_unknown_argument", .sender = {"-x", "-y", "file"}, .sender_status = 1,
         .out = unknown("-x") + unknown("-y")},
        {.name = "option_prefix_is_unknown", .sender = {"-quiet", "-pauses"}, .sender_status = 1, .out = unknown("-pauses")},
        {.name = "double_dash", .sender = {"--"}, .sender_status = 1, .out = unknown("--")},
        {.name = "readsize_without_value", .sender = {"-readsize"}, .sender_status = 1, .out = size_error("readsize", false)},
        {.name = "readsize_empty", .sender = {"-readsize="}, .sender_status = 1, .out = size_error("readsize", false)},
        {.name = "readsize_longer_name", .sender = {"-readsizes=4"}, .sender_status = 1, .out = size_error("readsize", false)},
        {.name = "readsize_suffix", .sender = {"-readsize=12k"}, .sender_status = 1, .out = size_error("readsize", true)},
        {.name = "readsize_negative", .sender = {"-readsize=-1"}, .sender_status = 1, .out = size_error("readsize", true)},
        {.name = "sendsize_upper_case", .sender = {"-SENDSIZE"}, .sender_status = 1, .out = size_error("sendsize", false)},
        {.name = "sendsize_sign", .sender = {"-sendsize=+8"}, .sender_status = 1, .out = size_error("sendsize", true)},
        {.name = "first_bad_value_stops", .sender = {"-readsize=1k", "-help"}, .sender_status = 1, .out = size_error("readsize", true)},
        {.name = "first_of_two_bad_values", .sender = {"-sendsize=", "-readsize=x"}, .sender_status = 1, .out = size_error("sendsize", false)},
        {.name = "digest_takes_no_value", .sender = {"-SHA256=ab", "-help"}, .sender_status = 1,
         .out = "{bannerS}Error: -sha256 takes no value: the sender has nothing to compare with\n"},
        {.name = "port_missing", .sender = {"-port="}, .sender_status = 1, .out = "Error: Missing port number\n"},
        {.name = "port_letters", .sender = {"-port=12a", "-help"}, .sender_status = 1, .out = digits},
        {.name = "port_negative", .sender = {"-PORT=-80"}, .sender_status = 1, .out = digits},
        {.name = "no_file", .sender = {"-quiet"}, .sender_status = 1, .out = "{quietS}{usageS}\nError: missing filename\n"},
        {.name = "test_needs_generated_data", .sender = {"-test"}, .sender_status = 1, .out = help + "\nError: missing filename\n"},
        {.name = "absent_file", .sender = {"-quiet", "{dir}/absent"}, .sender_status = 1,
         .out = "{quietS}Error: File {dir}/absent does not exist\n"},
        {.name = "file_below_a_file", .sender = {"-quiet", "{dir}/f/below"}, .files = {{"f", 1}}, .sender_status = 1,
         .out = "{quietS}Error: File {dir}/f/below Not a directory\n"},
        {.name = "name_beyond_511", .sender = {"-quiet", std::string(600, 'n')}, .sender_status = 1, .out = name_limit},
        {.name = "name_of_512_before_help", .sender = {std::string(512, 'n'), "-help"}, .sender_status = 1, .out = name_limit},
        {.name = "name_of_511", .sender = {"-quiet", std::string(511, 'n')}, .sender_status = 1,
         .out = "{quietS}Error: File " + std::string(511, 'n') + " File name too long\n"},
        {.name = "config_stops", .sender = {"-quiet", "-config"}, .sender_status = 1, .out = "{quietS}Initializing TCP/IP Protocol Stack\n"},
        {.name = "config_in_any_case", .sender = {"-CONFIG", "-Quiet", "no-such-file"}, .sender_status = 1,
         .out = "{quietS}Initializing TCP/IP Protocol Stack\n"},
        sizes("default_sizes", {}, 4096, 32768),
        sizes("zero_sizes_are_defaults", {"-readsize=0", "-sendsize=0"}, 4096, 32768),
        sizes("sizes_capped", {"-readsize=65536", "-sendsize=65536"}, 32768, 32768),
        sizes("largest_sizes", {"-readsize=32768", "-sendsize=32767"}, 32768, 32767),
        sizes("sizes_beyond_64_bits", {"-readsize=98765432109876543210", "-sendsize=4294967297"}, 32768, 32768),
        sizes("leading_zeros", {"-READSIZE=00512"}, 512, 32768),
        sizes("generated_block_is_the_read_size", {"-", "-readsize=100"}, 16384, 32768),
        sizes("generated_send_size_capped", {"-", "-sendsize=100000"}, 16384, 32768),
        sizes("generated_block_follows_send_size", {"-", "-sendsize=8000"}, 8000, 8000),
        {.name = "busy_port", .sender = {"-quiet", "-port={port}", "f"}, .files = {{"f", 1}},
         .steps = {peer(act::listen), start(S)}, .sender_status = 1,
         .out = "{quietS}Initializing TCP/IP Protocol Stack\nError: bind failed: TCP/IP Address is already in use\nTCP/IP Port {port}\n"},
        {.name = "out_of_descriptors_at_accept", .sender = {"-port={port}", "f"}, .files = {{"f", 1}}, .open_files_limit = 4,
         .sender_status = 1, .output = {{S, "Error: accept failed: TCP/IP error 10024\n"}}},
        {.name = "back_to_back_files",
         .sender = {"-port={port}", "-readsize=32768", "a", "b", "c", "d", "e", "f", "g", "h", "i"},
         .files = {{"a", 100000}, {"b", 0}, {"c", 4095}, {"d", 4096}, {"e", 4097}, {"f", 32767}, {"g", 32768}, {"h", 32769}, {"i", 65536}},
         .steps = {peer(act::connect)}, .stream = {"a", "b", "c", "d", "e", "f", "g", "h", "i"},
         .output = {{S, "Opening file: a\n"}, {S, "Opening file: b\n"}, {S, "Opening file: i\n"}, {S, "\nSuccessfully sent 276,128 bytes at "}}},
        {.name = "unopenable_files_ask_until_quit", .sender = {"-port={port}", "first", "{dir}/sub", "missing"},
         .files = {{"first", 5000}, {"real", 3}}, .input = "\nreal\nquit\nQ\n", .setup = "mkdir sub",
         .steps = {peer(act::connect)}, .stream = {"first", "real"}, .sender_status = 1,
         .output = {{S, "Opening file: {dir}/sub\n\nError: Could not open {dir}/sub\nError: Is a directory\n" + prompt +
                            "\nError: Could not open {dir}/sub\nError: Is a directory\n" + prompt + "Opening file: \"real\"\n"},
                    {S, "Opening file: missing\n\nError: Could not open missing\nError: No such file or directory\n" + prompt +
                            "Opening file: \"quit\"\n\nError: Could not open quit\nError: No such file or directory\n" + prompt},
                    {S, "Successfully sent 5,003 bytes"}},
         .extra = {"sub"}, .partial = true},
        {.name = "answer_lines", .sender = {"-port={port}", "f", "missing"}, .files = {{"f", 7}, {"real", 3}},
         .input = std::string(511, 'n') + "\r\n" + std::string(512, 'b') + "\nreal",
         .steps = {peer(act::connect)}, .stream = {"f", "real"},
         .output = {{S, "Opening file: \"" + std::string(511, 'n') + "\"\n\nError: Could not open " + std::string(511, 'n') +
                            "\nError: File name too long\n" + prompt},
                    {S, "Error: Answer is longer than 511 characters\n" + prompt + "Opening file: \"real\"\n"}}},
        {.name = "pause_asks_before_every_file", .sender = {"-port={port}", "-pause", "one", "two"},
         .files = {{"one", 1000}, {"two", 10}, {"other", 3000}}, .input = "\nother\n",
         .steps = {peer(act::connect)}, .stream = {"one", "other"},
         .output = {{S, "Opening file: one\n" + prompt}, {S, "Opening file: two\n" + prompt + "Opening file: \"other\"\n"}}},
        {.name = "second_receiver_refused_and_port_free_again", .sender = {"-port={port}", "-pause", "f"},
         .files = {{"f", 50000}}, .keep_input = true,
         .steps = {start(S), peer(act::connect), wait(S, "to quit: "), peer(act::refused), keys(S, "\n"), peer(act::read),
                   done(S), start(S), keys(S, "\n"), peer(act::connect)},
         .stream = {"f"}},
        {.name = "sigterm_while_waiting", .sender = {"-quiet", "-port={port}", "f"}, .files = {{"f", 3}},
         .steps = {wait(S, "Waiting for connection"), sig(S, SIGTERM)}, .sender_status = 1,
         .out = waiting + aborting},
        {.name = "file_grown_while_sent", .sender = {"-port={port}", "-readsize=4096", "data"}, .files = {{"data", 16 * mib}},
         .steps = {peer(act::connect), peer(act::read, 1000), sh("head -c 5555 /dev/urandom >> data")},
         .stream = {"data"}, .sender_status = 1,
         .output = {{S, "\nError: Could not send complete contents of file\nFile:     data\nOffset:   16,782,771\nFileSize: 16,777,216\n"},
                    {S, "Successfully sent 16,782,771 bytes"}},
         .partial = true},
        {.name = "file_cut_inside_a_block", .sender = {"-port={port}", "-readsize=5000", "data"}, .files = {{"data", 16 * mib}},
         .steps = {peer(act::connect), peer(act::read, 1000), sh("truncate -s 9000001 data")},
         .stream = {"data"}, .sender_status = 1,
         .output = {{S, "\nError: Could not send complete contents of file\nFile:     data\nOffset:   9,000,001\nFileSize: 16,777,216\n"},
                    {S, "Successfully sent 9,000,001 bytes"}},
         .partial = true},
        {.name = "receiver_leaving_mid_batch", .sender = {"-port={port}", "-readsize=5000", "data"}, .files = {{"data", 16 * mib}},
         .steps = {peer(act::connect), peer(act::read, 100000), peer(act::close)}, .stream = {"data"}, .sender_status = 1,
         .output = {{S, "\nError: send failed: Connection Reset\n"}}, .partial = true, .whole_blocks = 5000},
        {.name = "blocked_send_sigint", .sender = {"-port={port}", "large"}, .files = {{"large", 256 * mib, true}},
         .steps = {peer(act::connect, 4096), idle(S), sig(S, SIGINT)}, .stream = {"large"}, .sender_status = 1,
         .output = {{S, "\nNotice: send was aborted\n"}, {S, "Successfully sent "}, {S, aborting}}, .partial = true},
        {.name = "blocked_generated_sigterm", .sender = {"-port={port}", "-"},
         .steps = {peer(act::connect, 4096), idle(S), sig(S, SIGTERM)}, .stream = {"-"}, .sender_status = 1,
         .output = {{S, "Notice: send was aborted\n"}, {S, "Successfully sent "}, {S, aborting}}, .partial = true},
        {.name = "generated_hang_up", .sender = {"-port={port}", "-"},
         .steps = {peer(act::connect), peer(act::read, 4 * mib), peer(act::close)}, .stream = {"-"},
         .output = {{S, "\nError: send failed: "}, {S, "\nSuccessfully sent "}}, .partial = true},
        {.name = "generated_hang_up_at_sendsize_4099", .sender = {"-port={port}", "-", "-sendsize=4099"},
         .steps = {peer(act::connect), peer(act::read, 4 * mib), peer(act::close)}, .stream = {"-"},
         .output = {{S, "\nError: send failed: "}, {S, "\nSuccessfully sent "}}, .partial = true},
        {.name = "sigterm_in_the_first_send_test", .sender = {"-port={port}", "-", "-test"},
         .steps = {peer(act::connect), peer(act::read, mib), sig(S, SIGTERM)}, .stream = {"0"}, .sender_status = 1,
         .output = {{S, "Send test with buf size 512 bytes\nNotice: send was aborted\n\nNotice: send was aborted\n"},
                    {S, "\nAborting connection ... \n"}, {S, "Send: Total Bytes Sent: "}},
         .never = {{S, "buf size 1024"}}, .partial = true, .counts_what_peer_read = true},
    };
}

}  // namespace wt
