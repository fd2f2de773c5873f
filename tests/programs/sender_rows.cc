// pitchwire alone: its command line, and its transfers to a plain client of the test's own.

#include <csignal>

#include "runner.h"

namespace wt {
namespace {

// clang-format off
const std::string help = "{bannerS}{usageS}";
const std::string version = "pitchwire 1.34\n";
const std::string name_limit = "{bannerS}Error: File names are limited to 511 characters\n";
const std::string digits = "Error: Port numbers must be decimal characters\n";
const std::string started = "{quietS}Initializing TCP/IP Protocol Stack\n";
const std::string prompt = "Enter new filename or press [ENTER] when ready or \"Q\" to quit: ";
const std::string aborting = "\nAborting connection ... \n";
const std::string n511(511, 'n');

std::string unknown(const std::string& argument) { return "{bannerS}Error: Unknown argument: " + argument + "\n"; }
std::string size_error(const std::string& option, bool non_decimal) {
    return "{bannerS}" + (non_decimal ? "Error: found non decimal character in -" + option + " option\n" : "Error: missing option to -" + option + "\n") + "Usage: -" + option + "=n\n";
}
std::string cannot_open(const std::string& name, const std::string& reason) { return "\nError: Could not open " + name + "\nError: " + reason + "\n" + prompt; }
std::string changed_at(const std::string& offset) { return "\nError: Could not send complete contents of file\nFile:     data\nOffset:   " + offset + "\nFileSize: 16,777,216\n"; }

// "-debug" shows the sizes in force after the sizing rules, then "-config" stops.
row sizes(std::string name, std::vector<std::vector<std::string>> lines, int read_size, int send_size) {
    for (auto& args : lines) {
        args.insert(args.begin(), {"-quiet", "-config", "-debug"});
    }
    return line(S, std::move(name), lines, "{quietS}Initializing TCP/IP Protocol Stack\n\nNotice: Setting read buffer size to " + std::to_string(read_size) +
                " bytes\nNotice: Setting send buffer size to " + std::to_string(send_size) + " bytes\n\n");
}

}  // namespace

std::vector<row> sender_rows() {
    return {
        {.name = "random_command_lines", .sender = {"-config"}, .same = random_lines(1), .sender_status = any_status},
        line(S, "help_forms", {{"-?"}, {}, {"/?"}, {"-quiet", "-HeLp", "-x"}, {"-help", "no-such-file"}, {"--help"}}, help, 0),
        line(S, "unknown_then_help", {{"-x", "-help"}, {"-x", "-h"}}, unknown("-x") + help, 0),
        line(S, "version", {{"--version"}, {"-port=x", "-V", "--help"}}, version, 0),
        line(S, "unix_forms_are_exact", {{"--HELP", "-H", "-v", "--version=1"}}, unknown("--HELP") + unknown("-H") + unknown("-v") + unknown("--version=1")),
        line(S, "every_unknown_argument", {{"-x", "-y", "file"}}, unknown("-x") + unknown("-y")),
        line(S, "option_prefix_is_unknown", {{"-quiet", "-pauses"}}, unknown("-pauses")),
        line(S, "double_dash", {{"--"}}, unknown("--")),
        line(S, "readsize_without_value", {{"-readsize"}, {"-readsize="}, {"-readsizes=4"}}, size_error("readsize", false)),
        line(S, "readsize_not_decimal", {{"-readsize=12k"}, {"-readsize=-1"}, {"-readsize=1k", "-help"}}, size_error("readsize", true)),
        line(S, "sendsize_without_value", {{"-SENDSIZE"}, {"-sendsize=", "-readsize=x"}}, size_error("sendsize", false)),
        line(S, "sendsize_sign", {{"-sendsize=+8"}}, size_error("sendsize", true)),
        line(S, "digest_takes_no_value", {{"-SHA256=ab", "-help"}}, "{bannerS}Error: -sha256 takes no value: the sender has nothing to compare with\n"),
        line(S, "port_missing", {{"-port="}}, "Error: Missing port number\n"),
        line(S, "port_not_decimal", {{"-port=12a", "-help"}, {"-PORT=-80"}}, digits),
        line(S, "no_file", {{"-quiet"}}, "{quietS}{usageS}\nError: missing filename\n"),
        line(S, "send_test_needs_generated_data", {{"-test"}}, help + "\nError: missing filename\n"),
        line(S, "absent_file", {{"-quiet", "{dir}/absent"}}, "{quietS}Error: File {dir}/absent does not exist\n"),
        {.name = "file_below_a_file", .sender = {"-quiet", "{dir}/f/below"}, .files = {{"f", 1}}, .sender_status = 1, .out = "{quietS}Error: File {dir}/f/below Not a directory\n"},
        line(S, "name_beyond_511", {{"-quiet", std::string(600, 'n')}, {std::string(512, 'n'), "-help"}}, name_limit),
        line(S, "name_of_511", {{"-quiet", n511}}, "{quietS}Error: File " + n511 + " File name too long\n"),
        line(S, "config_stops", {{"-quiet", "-config"}, {"-CONFIG", "-Quiet", "no-such-file"}}, started),
        sizes("default_sizes", {{}, {"-readsize=0", "-sendsize=0"}}, 4096, 32768),
        sizes("sizes_capped", {{"-readsize=65536", "-sendsize=65536"}, {"-readsize=98765432109876543210", "-sendsize=4294967297"}}, 32768, 32768),
        sizes("largest_sizes", {{"-readsize=32768", "-sendsize=32767"}}, 32768, 32767),
        sizes("leading_zeros", {{"-READSIZE=00512"}}, 512, 32768),
        sizes("generated_block_is_16384", {{"-", "-readsize=100"}, {"-", "-sendsize=100000"}}, 16384, 32768),
        sizes("generated_block_follows_send_size", {{"-", "-sendsize=8000"}}, 8000, 8000),
        {.name = "busy_port", .sender = {"-quiet", "-port={port}", "f"}, .files = {{"f", 1}}, .steps = {peer(act::listen), start(S)}, .sender_status = 1,
         .out = started + "Error: bind failed: TCP/IP Address is already in use\nTCP/IP Port {port}\n"},
        {.name = "out_of_descriptors_at_accept", .sender = {"-port={port}", "f"}, .files = {{"f", 1}}, .wrap = "ulimit -n 4; exec \"$@\"", .sender_status = 1,
         .output = {{S, "Error: accept failed: TCP/IP error 10024\n"}}},
        {.name = "back_to_back_files", .sender = {"-port={port}", "-readsize=32768", "a", "b", "c", "d", "e", "f", "g", "h", "i"},
         .files = {{"a", 100000}, {"b", 0}, {"c", 4095}, {"d", 4096}, {"e", 4097}, {"f", 32767}, {"g", 32768}, {"h", 32769}, {"i", 65536}},
         .steps = {peer(act::connect)}, .stream = {"a", "b", "c", "d", "e", "f", "g", "h", "i"},
         .output = {{S, "Opening file: a\n"}, {S, "Opening file: b\n"}, {S, "Opening file: i\n"}, {S, "\nSuccessfully sent 276,128 bytes at "}}},
        {.name = "unopenable_files_ask_until_quit", .sender = {"-port={port}", "first", "{dir}/sub", "missing"}, .files = {{"first", 5000}, {"real", 3}},
         .run = {.input = "\nreal\nquit\nQ\n"}, .setup = "mkdir sub", .steps = {peer(act::connect)}, .stream = {"first", "real"}, .sender_status = 1,
         .output = {{S, "Opening file: {dir}/sub\n" + cannot_open("{dir}/sub", "Is a directory") + cannot_open("{dir}/sub", "Is a directory") + "Opening file: \"real\"\n"},
                    {S, "Opening file: missing\n" + cannot_open("missing", "No such file or directory") + "Opening file: \"quit\"\n" + cannot_open("quit", "No such file or directory")},
                    {S, "Successfully sent 5,003 bytes"}},
         .extra = {"sub"}, .partial = true},
        {.name = "answer_lines", .sender = {"-port={port}", "f", "missing"}, .files = {{"f", 7}, {"real", 3}},
         .run = {.input = n511 + "\r\n" + std::string(512, 'b') + "\nreal"}, .steps = {peer(act::connect)}, .stream = {"f", "real"},
         .output = {{S, "Opening file: \"" + n511 + "\"\n" + cannot_open(n511, "File name too long")}, {S, "Error: Answer is longer than 511 characters\n" + prompt + "Opening file: \"real\"\n"}}},
        {.name = "pause_asks_before_every_file", .sender = {"-port={port}", "-pause", "one", "two"}, .files = {{"one", 1000}, {"two", 10}, {"other", 3000}},
         .run = {.input = "\nother\n"}, .steps = {peer(act::connect)}, .stream = {"one", "other"},
         .output = {{S, "Opening file: one\n" + prompt}, {S, "Opening file: two\n" + prompt + "Opening file: \"other\"\n"}}},
        {.name = "second_receiver_refused_and_port_free_again", .sender = {"-port={port}", "-pause", "f"}, .files = {{"f", 50000}}, .run = {.keep_input = true},
         .steps = {start(S), peer(act::connect), wait(S, "to quit: "), peer(act::refused), keys(S, "\n"), peer(act::read), {act::finish, S}, start(S), keys(S, "\n"), peer(act::connect)},
         .stream = {"f"}},
        {.name = "sigterm_while_waiting", .sender = {"-quiet", "-port={port}", "f"}, .files = {{"f", 3}},
         .steps = {wait(S, "Waiting for connection"), sig(S, SIGTERM)}, .sender_status = 1, .out = started + "Waiting for connection [ESC to abort] ... " + aborting},
        // A file that changes once the client has its first bytes: sent to its new end and reported.
        {.name = "file_grown_while_sent", .sender = {"-port={port}", "data"}, .files = {{"data", 16 * mib}}, .steps = {peer(act::connect), peer(act::read, 1000), peer(act::shell, 0, "head -c 5555 /dev/urandom >> data")},
         .stream = {"data"}, .sender_status = 1, .output = {{S, changed_at("16,782,771")}, {S, "Successfully sent 16,782,771 bytes"}}, .partial = true},
        {.name = "file_cut_inside_a_block", .sender = {"-port={port}", "-readsize=5000", "data"}, .files = {{"data", 16 * mib}}, .steps = {peer(act::connect), peer(act::read, 1000), peer(act::shell, 0, "truncate -s 9000001 data")},
         .stream = {"data"}, .sender_status = 1, .output = {{S, changed_at("9,000,001")}, {S, "Successfully sent 9,000,001 bytes"}}, .partial = true},
        {.name = "receiver_leaving_mid_batch", .sender = {"-port={port}", "-readsize=5000", "data"}, .files = {{"data", 16 * mib}},
         .steps = {peer(act::connect), peer(act::read, 100000), peer(act::close)}, .stream = {"data"}, .sender_status = 1,
         .output = {{S, "\nError: send failed: Connection Reset\n"}}, .partial = true, .whole_blocks = 5000},
        {.name = "blocked_send_sigint", .sender = {"-port={port}", "large"}, .files = {{"large", 256 * mib, true}},
         .steps = {peer(act::connect, 4096), {act::idle, S}, sig(S, SIGINT)}, .stream = {"large"}, .sender_status = 1,
         .output = {{S, "\nNotice: send was aborted\n"}, {S, "Successfully sent "}, {S, aborting}}, .partial = true},
        {.name = "blocked_generated_sigterm", .sender = {"-port={port}", "-"}, .steps = {peer(act::connect, 4096), {act::idle, S}, sig(S, SIGTERM)},
         .stream = {"-"}, .sender_status = 1, .output = {{S, "Notice: send was aborted\n"}, {S, "Successfully sent "}, {S, aborting}}, .partial = true},
        {.name = "generated_hang_up_at_sendsize_4099", .sender = {"-port={port}", "-", "-sendsize=4099"}, .steps = {peer(act::connect), peer(act::read, 4 * mib), peer(act::close)},
         .stream = {"-"}, .output = {{S, "\nError: send failed: "}, {S, "\nSuccessfully sent "}}, .partial = true},
        {.name = "sigterm_in_the_first_send_test", .sender = {"-port={port}", "-", "-test"}, .steps = {peer(act::connect), peer(act::read, mib), sig(S, SIGTERM)},
         .stream = {"0"}, .sender_status = 1,
         .output = {{S, "Send test with buf size 512 bytes\nNotice: send was aborted\n\nNotice: send was aborted\n"}, {S, aborting}, {S, "Send: Total Bytes Sent: "}},
         .never = {{S, "buf size 1024"}}, .partial = true, .counts_what_peer_read = true},
    };
}
// clang-format on

}  // namespace wt
