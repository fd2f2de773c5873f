// The rows: pitchwire alone (its command line, and its transfers to a plain client of the
// test's own), catchwire alone (likewise, from a plain sender of the test's own), both
// together (on loopback or between two network namespaces), and one program on a
// pseudo-terminal with the operator at its keyboard.

#include <iterator>
#include <random>
#include <sstream>

#include "runner.h"

namespace wt {
namespace {

// clang-format off
// What the programs print before anything else, and their usage texts.
const std::string quiet_s = "\nTCP/IP Data Transfer Utility for Win32 WINSOCK\nVersion 1.34 Sep 13 1999\n\n";
const std::string quiet_r = "\nTCP/IP Data Transfer Utility\nVersion 1.34 Sep 13 1999\n\n";
const std::string banner_head = "pitchwire/catchwire TCP/IP data transfer programs\nCopyright (C) 2026 The pitchwire and catchwire developers\nAll rights reserved.\nProject home: " WIRE_PROJECT_HOME "\n";
const std::string banner_s = banner_head + quiet_s, banner_r = banner_head + quiet_r;
const std::string usage_s =
     "\nUsage: send [options] file1 [file2] [filen]\n"
    "       -           : No files, send random data\n"
    "       -config     : Display TCP/IP configuration\n"
    "       -help       : Display command help\n"
    "       -pause      : Pause before each file to insert new media\n"
    "       -port       : Set TCP/IP Port Number\n"
    "       -readsize=n : Set disk read buffer size to n bytes\n"
    "       -sendsize=n : Set send buffer size to n bytes\n"
    "       -sha256     : Print the SHA-256 of the stream\n";
const std::string usage_r =
     "\nUsage: recv [options] <ip_addr> <filename>\n"
    "       -           : No files, recv random data\n"
    "       -config     : Display TCP/IP configuration\n"
    "       -help       : Display command help\n"
    "       -autosize=n : Limit created files to n MB\n"
    "       -autoname   : Automatically name image files\n"
    "       -port       : Set TCP/IP Port Number\n"
    "       -sha256     : Print the SHA-256 of the stream and of each piece\n"
    "       -sha256=hex : Check the stream against the SHA-256 hex\n";

// Command lines of one program that end before the network, each with this output and status.
row line(who on, std::string name, std::vector<std::vector<std::string>> lines, std::string out, int status = 1) {
    row made{.name = std::move(name), .same = {lines.begin() + 1, lines.end()}, .out = std::move(out)};
    (on == S ? made.sender : made.receiver) = lines.front();
    (on == S ? made.sender_status : made.receiver_status) = status;
    return made;
}

// 300 random and mangled command lines, each holding "-config" so that none listens or connects.
std::vector<std::vector<std::string>> random_lines(unsigned seed) {
    // Option stems of both programs, values around their limits, and odd bytes.
    std::istringstream list(
        "- -help -? /? -pause -port= -quiet -debug -test -readsize= -sendsize= -autosize= "
        "-autoname -sha256 -sha256= --help -V -port 0 1 511 4099 32769 65536 2001 2147483648 "
        "17592186044416 99999999999999999999999 -1 +5 1k 0x10 \xd9\xa3 \xff \x01 = 127.0.0.1 "
        "0.0.0.0 name dir/name.ext");
    std::vector<std::string> words{std::istream_iterator<std::string>(list), {}};
    words.insert(words.end(), {" 12", std::string(512, 'n')});
    std::mt19937 random(seed);
    std::vector<std::vector<std::string>> lines(300, {"-CoNfIg"});
    for (std::vector<std::string>& args : lines) {
        for (auto count = random() % 8; count > 0; --count) {
            std::string argument = words[random() % words.size()];
            while (random() % 3 == 0) {
                argument += words[random() % words.size()];
            }
            args.insert(args.begin() + static_cast<long>(random() % (args.size() + 1)), argument);
        }
    }
    return lines;
}

const std::string help = banner_s + usage_s;
const std::string started = quiet_s + "Initializing TCP/IP Protocol Stack\n";
const std::string prompt = "Enter new filename or press [ENTER] when ready or \"Q\" to quit: ";
const std::string aborting = "\nAborting connection ... \n";
const std::string n511(511, 'n');

std::string unknown(who on, const std::string& argument) { return (on == S ? banner_s : banner_r) + "Error: Unknown argument: " + argument + "\n"; }
std::string size_error(const std::string& option, bool non_decimal) {
    return banner_s + (non_decimal ? "Error: found non decimal character in -" + option + " option\n" : "Error: missing option to -" + option + "\n") + "Usage: -" + option + "=n\n";
}
std::string cannot_open(const std::string& name, const std::string& reason) { return "\nError: Could not open " + name + "\nError: " + reason + "\n" + prompt; }
std::string changed_at(const std::string& offset) { return "\nError: Could not send complete contents of file\nFile:     data\nOffset:   " + offset + "\nFileSize: 16,777,216\n"; }

// "-debug" shows the sizes in force after the sizing rules, then "-config" stops.
std::string sizes(int read_size, int send_size) {
    return quiet_s + "Initializing TCP/IP Protocol Stack\n\nNotice: Setting read buffer size to " + std::to_string(read_size) + " bytes\nNotice: Setting send buffer size to " + std::to_string(send_size) + " bytes\n\n";
}

const std::string net = banner_r + "Initializing TCP/IP Protocol Stack\n";
const std::string reset = "\nError: recv failed: Connection Reset\n";

const std::string ask = "Enter new filename [Q]: ";

// Files sent into one copy, or into "-".
row exact(const std::string& name, const std::vector<long long>& sizes, bool into_file = true) {
    row made{.name = name, .sender = {"-port={port}"}, .receiver = {"-port={port}", "127.0.0.1", into_file ? "copy" : "-"}, .pieces = std::vector<std::string>(into_file ? 1 : 0, "copy")};
    for (const long long size : sizes) {
        made.files.push_back({"in" + std::to_string(made.files.size()), size});
        made.sender.push_back(made.files.back().name);
        made.stream.push_back(made.files.back().name);
    }
    return made;
}

// The sender stops early: the receiver sees a reset and keeps no partial copy.
row early_stop(row made) {
    made.receiver = {"-port={port}", "127.0.0.1", "copy"};
    made.sender_status = made.receiver_status = 1;
    made.output.push_back({R, reset});
    made.never.push_back({R, "Successfully received"});
    made.partial = true;
    return made;
}

// Two namespaces joined by a veth pair, the sender's at 10.200.0.1, data towards the receiver limited to 20 Mbit/s.
const std::string namespaces =
    "[ \"$(id -u)\" = 0 ] && command -v nft && command -v tc || exit 77; set -e; S=wtS{port} R=wtR{port} V=wtv{port}; "
    "ip netns add $S; ip netns add $R; ip link add ${V}s netns $S type veth peer name ${V}r netns $R; "
    "ip -n $S addr add 10.200.0.1/24 dev ${V}s; ip -n $R addr add 10.200.0.2/24 dev ${V}r; ip -n $S link set ${V}s up; ip -n $R link set ${V}r up; "
    "ip netns exec $S tc qdisc add dev ${V}s root tbf rate 20mbit burst 32kbit latency 20ms";
const std::string remove_namespaces = "ip netns delete wtS{port}; ip netns delete wtR{port}; true";

// Drops what enters either namespace: all of it, or what rule picks; lift ends that.
std::string filter(const std::string& rule) {
    return "for n in wtS{port} wtR{port}; do ip netns exec $n nft 'add table inet wt; add chain inet wt input { type filter hook input priority 0; }; add rule inet wt input " + rule + "'; done";
}
const std::string lift = "for n in wtS{port} wtR{port}; do ip netns exec $n nft delete table inet wt; done";

// Each program in its own namespace.
row namespaced(row made) {
    made.receiver = {"-port={port}", "10.200.0.1", "copy"};
    made.setup = namespaces + (made.setup.empty() ? "" : "; " + made.setup);
    made.teardown = remove_namespaces;
    made.wrap = (made.wrap.empty() ? "" : made.wrap + "; ") + "exec ip netns exec wt$0{port} \"$@\"";
    return made;
}

// One program's standard streams closed, or the reader of its output gone, before the other starts: the copy is
// unaffected. The script makes the file "ready" then.
row broken_output(const std::string& name, who wrapped, const std::string& script) {
    return {.name = name, .sender = {"-port={port}", "source"}, .receiver = {"-port={port}", "127.0.0.1", "copy"}, .files = {{"source", 8 * mib}},
            .wrap = "[ $0 = " + std::string(1, wrapped) + " ] || exec \"$@\"; " + script, .steps = {start(wrapped), peer(act::size, 1, "ready"), start(wrapped == S ? R : S)},
            .stream = {"source"}, .output = {{wrapped, "exit=0\n"}}, .pieces = {"copy"}, .extra = {"ready"}};
}
const std::string streams_closed = "echo > ready; \"$@\" <&- >&-; echo \"exit=$?\" >&2";
const std::string reader_gone = "{ \"$@\"; echo \"exit=$?\" >&2; } | { head -n 1 >/dev/null; exec 0<&-; echo > ready; }";

// A source without a size of its own, then a file: both arrive whole, in order.
row source(std::string name, const std::string& script) {
    return {.name = std::move(name), .sender = {"-port={port}"}, .receiver = {"-port={port}", "127.0.0.1", "copy"}, .files = {{"first", 3 * mib}, {"second", 99999}},
            .wrap = "[ $0 = S ] || exec \"$@\"; " + script, .stream = {"first", "second"}, .pieces = {"copy"}, .extra = {"fifo"}};
}
const std::string slow_feed = "{ head -c 1572864 first; sleep 1; tail -c +1572865 first; }";

const std::string blank = "\r" + std::string(79, ' ') + "\r";
const std::string question = "Abort [N]: ";
const std::string waiting = "\rWaiting for connection [ESC to abort] ... ";

row waiting_sender(std::string name, std::vector<step> steps, int status = 1) {
    steps.insert(steps.begin(), wait(S, "Waiting for connection"));
    return {.name = std::move(name), .sender = {"-port={port}", "-quiet", "f"}, .files = {{"f", 5}}, .run = {.terminal = true}, .steps = std::move(steps), .stream = {"f"},
            .sender_status = status, .partial = true};
}

}  // namespace

std::vector<row> sender_rows() {
    return {
        {.name = "random_command_lines", .sender = {"-config"}, .same = random_lines(1), .sender_status = any_status},
        line(S, "help_forms", {{"-?"}, {}, {"/?"}, {"-quiet", "-HeLp", "-x"}, {"-help", "no-such-file"}, {"--help"}}, help, 0),
        line(S, "unknown_then_help", {{"-x", "-help"}, {"-x", "-h"}}, unknown(S, "-x") + help, 0),
        line(S, "version", {{"--version"}, {"-port=x", "-V", "--help"}}, "pitchwire 1.34\n", 0),
        // Each unknown argument is named, the Unix forms in any other spelling too, an option's longer name and "--" included.
        line(S, "every_unknown_argument", {{"-quiet", "--HELP", "-H", "-v", "--version=1", "-x", "-pauses", "file", "--"}},
             unknown(S, "--HELP") + unknown(S, "-H") + unknown(S, "-v") + unknown(S, "--version=1") + unknown(S, "-x") + unknown(S, "-pauses") + unknown(S, "--")),
        line(S, "readsize_without_value", {{"-readsize"}, {"-readsize="}, {"-readsizes=4"}}, size_error("readsize", false)),
        line(S, "readsize_not_decimal", {{"-readsize=12k"}, {"-readsize=-1"}, {"-readsize=1k", "-help"}}, size_error("readsize", true)),
        line(S, "sendsize_without_value", {{"-SENDSIZE"}, {"-sendsize=", "-readsize=x"}}, size_error("sendsize", false)),
        line(S, "sendsize_sign", {{"-sendsize=+8"}}, size_error("sendsize", true)),
        line(S, "digest_takes_no_value", {{"-SHA256=ab", "-help"}}, banner_s + "Error: -sha256 takes no value: the sender has nothing to compare with\n"),
        line(S, "port_missing", {{"-port="}}, "Error: Missing port number\n"),
        line(S, "port_not_decimal", {{"-port=12a", "-help"}, {"-PORT=-80"}}, "Error: Port numbers must be decimal characters\n"),
        line(S, "no_file", {{"-quiet"}}, quiet_s + usage_s + "\nError: missing filename\n"),
        line(S, "send_test_needs_generated_data", {{"-test"}}, help + "\nError: missing filename\n"),
        line(S, "absent_file", {{"-quiet", "{dir}/absent"}}, quiet_s + "Error: File {dir}/absent does not exist\n"),
        {.name = "file_below_a_file", .sender = {"-quiet", "{dir}/f/below"}, .files = {{"f", 1}}, .sender_status = 1, .out = quiet_s + "Error: File {dir}/f/below Not a directory\n"},
        line(S, "name_beyond_511", {{"-quiet", std::string(600, 'n')}, {std::string(512, 'n'), "-help"}}, banner_s + "Error: File names are limited to 511 characters\n"),
        line(S, "name_of_511", {{"-quiet", n511}}, quiet_s + "Error: File " + n511 + " File name too long\n"),
        line(S, "config_stops", {{"-quiet", "-config"}, {"-CONFIG", "-Quiet", "no-such-file"}}, started),
        line(S, "default_sizes", {{"-quiet", "-config", "-debug"}, {"-quiet", "-config", "-debug", "-readsize=0", "-sendsize=0"}}, sizes(4096, 32768)),
        line(S, "sizes_capped", {{"-quiet", "-config", "-debug", "-readsize=65536", "-sendsize=65536"}, {"-quiet", "-config", "-debug", "-readsize=98765432109876543210", "-sendsize=4294967297"}}, sizes(32768, 32768)),
        line(S, "largest_sizes", {{"-quiet", "-config", "-debug", "-readsize=32768", "-sendsize=32767"}}, sizes(32768, 32767)),
        line(S, "leading_zeros", {{"-quiet", "-config", "-debug", "-READSIZE=00512"}}, sizes(512, 32768)),
        line(S, "generated_block_is_16384", {{"-quiet", "-config", "-debug", "-", "-readsize=100"}, {"-quiet", "-config", "-debug", "-", "-sendsize=100000"}}, sizes(16384, 32768)),
        line(S, "generated_block_follows_send_size", {{"-quiet", "-config", "-debug", "-", "-sendsize=8000"}}, sizes(8000, 8000)),
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
         .steps = {start(S), peer(act::connect), wait(S, "to quit: "), peer(act::shell, 0, "! bash -c 'exec 3<>/dev/tcp/127.0.0.1/{port}' 2>/dev/null"), keys(S, "\n"), peer(act::read), {act::finish, S}, start(S), keys(S, "\n"), peer(act::connect)},
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
        {.name = "blocked_send_sigint", .sender = {"-port={port}", "large"}, .files = {{"large", 256 * mib}},
         .steps = {peer(act::connect, 4096), {act::idle, S}, sig(S, SIGINT)}, .stream = {"large"}, .sender_status = 1,
         .output = {{S, "\nNotice: send was aborted\n"}, {S, "Successfully sent "}, {S, aborting}}, .partial = true},
        {.name = "blocked_generated_sigterm", .sender = {"-port={port}", "-"}, .steps = {peer(act::connect, 4096), {act::idle, S}, sig(S, SIGTERM)},
         .stream = {"-"}, .sender_status = 1, .output = {{S, "Notice: send was aborted\n"}, {S, "Successfully sent "}, {S, aborting}}, .partial = true, .counts_what_peer_read = true},
        {.name = "generated_hang_up_at_sendsize_4099", .sender = {"-port={port}", "-", "-sendsize=4099"}, .steps = {peer(act::connect), peer(act::read, 4 * mib), peer(act::close)},
         .stream = {"-"}, .output = {{S, "\nError: send failed: "}, {S, "\nSuccessfully sent "}}, .partial = true},
        {.name = "sigterm_in_the_first_send_test", .sender = {"-port={port}", "-", "-test"}, .steps = {peer(act::connect), peer(act::read, mib), sig(S, SIGTERM)},
         .stream = {"0"}, .sender_status = 1,
         .output = {{S, "Send test with buf size 512 bytes\nNotice: send was aborted\n\nNotice: send was aborted\n"}, {S, aborting}, {S, "Send: Total Bytes Sent: "}},
         .never = {{S, "buf size 1024"}}, .partial = true, .counts_what_peer_read = true},
    };
}

std::vector<row> receiver_rows() {
    const std::string receiver_help = banner_r + usage_r;
    const std::vector<says> stdout_sink = {{R, "Received a connection from host 127.0.0.1\n"}, {R, "\nSuccessfully received 100,000 bytes at "}};
    return {
        {.name = "random_command_lines", .receiver = {"-config"}, .same = random_lines(2), .receiver_status = any_status},
        line(R, "help_forms", {{"-HELP"}, {}, {"/?"}, {"-quiet", "-?"}, {"-h", "127.0.0.1", "f"}}, receiver_help, 0),
        line(R, "unknown_then_help", {{"-bogus", "-Help"}, {"-bogus", "--help"}}, unknown(R, "-bogus") + receiver_help, 0),
        line(R, "version", {{"-bogus", "--version", "-h"}, {"-V"}}, "catchwire 1.34\n", 0),
        line(R, "every_unknown_argument", {{"--Version", "-v", "-x", "-port", "127.0.0.1", "f"}}, unknown(R, "--Version") + unknown(R, "-v") + unknown(R, "-x") + unknown(R, "-port")),
        line(R, "second_file_name", {{"-quiet", "127.0.0.1", "a", "b"}}, banner_r + "Error: filename has already been specified\n"),
        line(R, "name_of_512", {{"127.0.0.1", std::string(512, 'n')}}, banner_r + "Error: File names are limited to 511 characters\n"),
        line(R, "autosize_incomplete", {{"-autosize"}, {"-AutoSizeX=1"}}, "Error: Incomplete option to Auto Size\n"),
        line(R, "autosize_empty", {{"-autosize=", "127.0.0.1", "f"}}, "Error: Missing size in -autosize option\n"),
        line(R, "autosize_zero", {{"-autosize=0", "127.0.0.1", "f"}}, "Error: -autosize must be at least 1 MB\n"),
        line(R, "autosize_suffix", {{"-autosize=99999999999999999999x"}}, "Error: found non decimal character in -autosize option\n"),
        line(R, "autosize_too_large", {{"-autosize=17592186044416"}}, "Error: -autosize value is too large\n"),
        line(R, "digest_of_63_65_or_not_hexadecimal", {{"-sha256=" + std::string(63, 'a'), "127.0.0.1", "f"}, {"-SHA256=" + std::string(65, 'F'), "127.0.0.1", "f"}, {"-sha256=" + std::string(63, '0') + "g", "-help"}}, "Error: -sha256= must be followed by 64 hexadecimal digits\n"),
        line(R, "port_missing", {{"-port="}}, "Error: Missing port number\n"),
        line(R, "port_sign", {{"-PORT=+80"}}, "Error: Port numbers must be decimal characters\n"),
        line(R, "config_stops", {{"-config", "127.0.0.1", "f"}, {"-autosize=2000", "-config"}}, net),
        line(R, "quiet_config", {{"-quiet", "-pause", "-debug", "-config"}}, quiet_r + "Initializing TCP/IP Protocol Stack\n"),
        line(R, "autosize_2001_warns", {{"-autosize=2001", "-config"}}, "Warning: DOS files are limited to 2GB in size.\n" + net),
        line(R, "no_file_name", {{"f"}, {"127.0.0.1"}}, net + "Error: filename must be specified\n"),
        line(R, "no_address", {{"-port=2000"}}, net + "Error: ip_addr must be specified\n"),
        line(R, "invalid_address", {{"0.0.0.0", "f"}, {"no..such..host", "f"}}, net + "\nError: Invalid destination TCP/IP address\n" + usage_r),
        line(R, "autoname_with_extension", {{"-autoname", "127.0.0.1", "IMAGE.DAT"}, {"-autoname", "127.0.0.1", "dir/IMAGE."}}, net + "\nError: Auto Naming is enabled and the file has an extension.\n"),
        line(R, "name_of_511_cannot_be_made", {{"127.0.0.1", n511}}, net + "Error: Could not create file: " + n511 + "\n       File name too long\n"),
        line(R, "port_zero_or_beyond_65535", {{"-port=0", "-", "127.0.0.1", "f"}, {"-port=65536", "127.0.0.1", "f"}}, net + "Error: Could not connect to host - TCP/IP error 10049\n"),
        {.name = "failure_keeps_a_fifo", .receiver = {"-port=0", "127.0.0.1", "{dir}/fifo"}, .files = {{"fifo", -1}}, .steps = {start(R), {act::finish, R}, peer(act::shell, 0, "test -p fifo")}, .receiver_status = 1},
        {.name = "retries_until_the_sender_listens", .receiver = {"-port={port}", "127.0.0.1", "out"}, .steps = {start(R), wait(R, "Connection Refused, Retry 2\r"), peer(act::listen), peer(act::accept)},
         .output = {{R, "Error: Could not connect to host - Connection Refused, Retry 1\r"}, {R, "Retry 2\r"}, {R, "Received a connection from host 127.0.0.1\n"}, {R, "\nSuccessfully received 0 bytes at 0 KBS\nTCPIP Data Checksum: 0\n"}}, .pieces = {"out"}},
        {.name = "sigint_while_retrying_deletes_the_empty_file", .receiver = {"-port={port}", "127.0.0.1", "early"}, .steps = {start(R), wait(R, "Retry 1\r"), sig(R, SIGINT)}, .receiver_status = 1, .output = {{R, "\nAborting connection ... \n"}}},
        {.name = "sigint_at_the_piece_prompt", .receiver = {"-port={port}", "-autosize=1", "127.0.0.1", "ONE"}, .run = {.keep_input = true}, .steps = {peer(act::send, mib + 1), peer(act::close), wait(R, ask), sig(R, SIGINT, "Aborting connection")},
         .receiver_status = 1, .output = {{R, "[Q]: \nAborting connection ... \n"}}, .pieces = {"ONE=1048576"}, .partial = true},
        {.name = "short_tail_never_held_back", .receiver = {"-port={port}", "127.0.0.1", "out"},
         .steps = {peer(act::send, 0, std::string(100, 'a')), peer(act::shell, 0, "sleep 2.1"), peer(act::send, 0, "b"), wait(R, "Recv: Total Bytes Received: 101 KBS: "), peer(act::send, 32768)},
         .output = {{R, "\nSuccessfully received 32,869 bytes at "}}, .pieces = {"out"}},
        {.name = "host_name_is_looked_up", .receiver = {"-port={port}", "localhost", "out"}, .steps = {peer(act::send, 0, "abc")}, .output = {{R, "Received a connection from host localhost\n"}}, .pieces = {"out"}},
        {.name = "dev_stdout_carries_only_the_data", .receiver = {"-port={port}", "127.0.0.1", "/dev/stdout"}, .steps = {peer(act::send, 100000)}, .output = stdout_sink, .data_on_stdout = true},
        {.name = "file_size_limit_deletes_the_file", .receiver = {"-port={port}", "127.0.0.1", "out"}, .wrap = "ulimit -f 200; exec \"$@\"", .steps = {peer(act::send, mib)},  // 102,400 bytes
         .receiver_status = 1, .output = {{R, "\n\nError: Could not write to file: File too large\n"}}, .partial = true},
        {.name = "full_disk_keeps_earlier_pieces", .receiver = {"-port={port}", "-autosize=1", "-autoname", "127.0.0.1", "IMAGE"},
         .setup = "[ \"$(id -u)\" = 0 ] || exit 77; mount -t tmpfs -o size=2560k wiretest {dir} || exit 77", .teardown = "umount -l {dir}; true", .steps = {peer(act::send, 4 * mib)},
         .receiver_status = 1, .output = {{R, "\n\nError: Could not write to file: No space left on device\n"}}, .pieces = {"IMAGE.000=1048576", "IMAGE.001=1048576"}, .partial = true},
        {.name = "reset_deletes_the_file", .receiver = {"-port={port}", "127.0.0.1", "copy.img"}, .steps = {peer(act::send, 100000), peer(act::size, 65536, "copy.img"), peer(act::close, 1)},
         .receiver_status = 1, .output = {{R, reset}}, .partial = true},
        {.name = "reset_after_two_pieces_keeps_both", .receiver = {"-port={port}", "-autosize=1", "-autoname", "127.0.0.1", "IMAGE"}, .steps = {peer(act::send, 2 * mib + 10000), peer(act::size, mib, "IMAGE.001"), peer(act::close, 1)},
         .receiver_status = 1, .output = {{R, reset}}, .pieces = {"IMAGE.000=1048576", "IMAGE.001=1048576"}, .partial = true},
        {.name = "stalled_receive_sigterm_keeps_the_file", .receiver = {"-port={port}", "127.0.0.1", "copy.img"}, .steps = {peer(act::send, 0, "some bytes"), {act::idle, R}, sig(R, SIGTERM), wait(R, "\nAborting connection ... \n")},
         .receiver_status = 1, .pieces = {"copy.img"}, .partial = true},
        {.name = "operator_names_each_piece", .receiver = {"-port={port}", "-autosize=1", "127.0.0.1", "ONE"}, .run = {.keep_input = true},
         .steps = {peer(act::send, mib), peer(act::size, mib, "ONE"), {act::quiet, R, "Enter new", 300}, peer(act::send, mib), wait(R, ask), keys(R, "\n"), wait(R, ask),
                   keys(R, "missing/TWO\n"), wait(R, "directory\n" + ask), keys(R, "TWO\n"), peer(act::size, mib, "TWO"), peer(act::send, mib + 5), wait(R, "end of file TWO\n" + ask),
                   keys(R, "./ONE\n"), wait(R, "Error: ./ONE is a piece already written in this run\n" + ask), keys(R, "THREE\n"), peer(act::close), wait(R, "end of file THREE\n" + ask), keys(R, "FOUR\n")},
         .output = {{R, "Reached the end of file ONE\n" + ask + ask + "Creating file: \"missing/TWO\"\n\nError: Could not create file: missing/TWO\nError: No such file or directory\n" + ask + "Creating file: \"TWO\"\n"},
                    {R, "Creating file: \"FOUR\"\n"}, {R, "\nSuccessfully received 3,145,733 bytes at "}},
         .pieces = {"ONE=1048576", "TWO=1048576", "THREE=1048576", "FOUR=5"}},
        {.name = "quit_keeps_the_first_piece", .receiver = {"-port={port}", "-autosize=1", "127.0.0.1", "ONE"}, .run = {.input = "q\n"}, .steps = {peer(act::send, 2 * mib)},
         .output = {{R, "Successfully received 1,081,344 bytes at "}}, .pieces = {"ONE=1048576"}, .partial = true},
        {.name = "numbered_pieces_with_a_tail", .receiver = {"-port={port}", "-autosize=1", "-autoname", "127.0.0.1", "IMAGE"}, .steps = {peer(act::send, 3 * mib + 5)},
         .never = {{R, "Reached the end"}}, .pieces = {"IMAGE.000=1048576", "IMAGE.001=1048576", "IMAGE.002=1048576", "IMAGE.003=5"}},
        {.name = "no_empty_piece_at_a_boundary", .receiver = {"-port={port}", "-autosize=1", "-autoname", "127.0.0.1", "IMAGE"}, .steps = {peer(act::send, 2 * mib)},
         .never = {{R, "Reached the end"}}, .pieces = {"IMAGE.000=1048576", "IMAGE.001=1048576"}},
        {.name = "autoname_alone_names_one_file", .receiver = {"-port={port}", "-autoname", "127.0.0.1", "IMAGE"}, .steps = {peer(act::send, 2 * mib + 1)}, .pieces = {"IMAGE.000=2097153"}},
    };
}

std::vector<row> pair_rows() {
    const std::string zeros(64, '0');
    const std::vector<file_spec> three = {{"a", mib + 7}, {"b", 0}, {"c", mib + 100}};
    const std::vector<std::string> copy = {"-port={port}", "127.0.0.1", "copy"};
    return {
        exact("empty_file", {0}),
        exact("one_byte", {1}),
        exact("one_block", {32768}),
        exact("files_back_to_back", {4095, 0, 4096, 4097, 32767, 0, 32768, 32769, 5 * mib + 3}),
        exact("files_back_to_back_into_dash", {70000, 0, 1, 32768, 100}, false),
        {.name = "digests_of_stream_and_numbered_pieces", .sender = {"-port={port}", "-sha256", "a", "b", "c"},
         .receiver = {"-port={port}", "-autosize=1", "-sha256=" + zeros, "-sha256={SHA}", "-autoname", "127.0.0.1", "IMAGE"}, .files = three,
         .steps = {start(S), wait(S, "Waiting for connection"), start(R), {act::finish, R}, {act::finish, S}, peer(act::shell, 0, "sha256sum -c IMAGE.sha256 | grep -c ': OK$' | grep -qx 3")},
         .stream = {"a", "b", "c"}, .output = {{S, "TCPIP Data SHA-256: {sha}\n"}, {R, "TCPIP Data SHA-256: {sha}\nNotice: SHA-256 matches\n"}},
         .pieces = {"IMAGE.000", "IMAGE.001", "IMAGE.002"}, .extra = {"IMAGE.sha256"}},
        {.name = "digest_differs_and_named_pieces_print_theirs", .sender = {"-port={port}", "-sha256", "a", "b", "c"},
         .receiver = {"-port={port}", "-autosize=1", "-sha256", "-sha256=" + zeros, "127.0.0.1", "ONE"}, .files = three, .run = {.input = "TWO\nTHREE\n"},
         .stream = {"a", "b", "c"}, .receiver_status = 1, .output = {{R, "{sha:ONE}  ONE\n"}, {R, "{sha:TWO}  TWO\n"},
         {R, "TCPIP Data SHA-256: {sha}\nError: SHA-256 differs from the expected value\n"}, {R, "{sha:THREE}  THREE\n"}}, .pieces = {"ONE", "TWO", "THREE"}},
        {.name = "operators_slower_than_the_peer_limit", .sender = {"-port={port}", "-pause", "source"}, .receiver = {"-port={port}", "-autosize=8", "127.0.0.1", "ONE"},
         .files = {{"source", 24 * mib}}, .run = {.keep_input = true}, .wrap = "WIRE_TEST_PEER_TIMEOUT=3 exec \"$@\"",
         .steps = {wait(S, "\"Q\" to quit: "), {act::quiet, R, "Error", 5000}, keys(S, "\n"), wait(R, ask), {act::quiet, S, "Successfully sent", 5000}, keys(R, "TWO\n"),
                   wait(R, "end of file TWO\n" + ask), keys(R, "THREE\n")},
         .stream = {"source"}, .pieces = {"ONE", "TWO", "THREE"}},
        early_stop({.name = "quit_at_the_media_prompt_resets", .sender = {"-port={port}", "head", "missing"}, .files = {{"head", mib}}, .run = {.input = "Q\n"}, .stream = {"head"},
                    .output = {{S, "Error: Could not open missing\n"}, {S, "Successfully sent 1,048,576 bytes"}}, .never = {{S, "Aborting"}}}),
        early_stop({.name = "end_of_input_at_the_media_prompt_resets", .sender = {"-port={port}", "head", "missing"}, .files = {{"head", 70000}}, .stream = {"head"},
                    .output = {{S, "Opening file: missing\n\nError: Could not open missing\nError: No such file or directory\nEnter new filename or press [ENTER] when ready or \"Q\" to quit: "}},
                    .never = {{S, "quit: \nError"}}}),
        early_stop({.name = "sigint_mid_file_resets", .sender = {"-port={port}", "sparse"}, .files = {{"sparse", 4LL << 30}},
                    .steps = {peer(act::size, mib, "copy"), sig(S, SIGINT, "Aborting connection")}, .stream = {"sparse"},
                    .output = {{S, "\nNotice: send was aborted\n"}, {S, "\nAborting connection ... \n"}}, .never = {{S, "Could not send complete"}}}),
        early_stop({.name = "sigint_while_a_fifo_waits_for_its_writer", .sender = {"-port={port}", "head", "fifo"}, .files = {{"head", mib}, {"fifo", -1}},
                    .steps = {peer(act::size, mib, "copy"), sig(S, SIGINT, "Aborting connection")}, .stream = {"head"},
                    .output = {{S, "Opening file: fifo\n"}, {S, "\nAborting connection ... \n"}}, .never = {{S, "Could not open"}, {S, "Enter new filename"}}}),
        {.name = "end_of_input_at_the_piece_prompt_stops", .sender = {"-port={port}", "first"}, .receiver = {"-port={port}", "-autosize=1", "127.0.0.1", "copy"},
         .files = {{"first", mib + 5}}, .stream = {"first"}, .sender_status = any_status,
         .output = {{R, "Reached the end of file copy\n" + ask}, {R, "Successfully received "}}, .never = {{R, ask + ask}}, .pieces = {"copy=1048576"}, .partial = true},
        {.name = "receiver_killed", .sender = {"-port={port}", "source"}, .receiver = copy, .files = {{"source", 4LL << 30}}, .steps = {peer(act::size, mib, "copy"), sig(R, SIGKILL)},
         .stream = {"source"}, .sender_status = 1, .receiver_status = 128 + SIGKILL, .output = {{S, "\nError: send failed: Connection "}, {S, "Successfully sent "}},
         .extra = {"copy"}, .partial = true},
        {.name = "sender_killed", .sender = {"-port={port}", "source"}, .receiver = copy, .files = {{"source", 4LL << 30}}, .steps = {peer(act::size, mib, "copy"), sig(S, SIGKILL)},
         .stream = {"source"}, .sender_status = 128 + SIGKILL, .output = {{R, "Successfully received "}}, .pieces = {"copy"}, .partial = true},
        source("loop_device_source", "dev=$(losetup --find --show first) || exit 77; \"$@\" \"$dev\" second; s=$?; losetup -d \"$dev\"; exit $s"),
        source("pipe_source", slow_feed + " | \"$@\" /dev/stdin second"),
        source("fifo_source", "mkfifo fifo && { " + slow_feed + " > fifo & } && exec \"$@\" fifo second"),
        broken_output("sender_streams_closed", S, streams_closed),
        broken_output("sender_output_reader_gone", S, reader_gone),
        broken_output("receiver_streams_closed", R, streams_closed),
        broken_output("receiver_output_reader_gone", R, reader_gone),
        namespaced({.name = "loss_and_a_rate_limit", .sender = {"-port={port}", "source"}, .files = {{"source", 8 * mib}}, .setup = filter("numgen random mod 100 < 5 drop"),
                    .stream = {"source"}, .pieces = {"copy"}}),
        namespaced({.name = "blackout_lifted", .sender = {"-port={port}", "source"}, .files = {{"source", 8 * mib}},
                    .steps = {peer(act::size, mib, "copy"), peer(act::shell, 0, filter("drop")), peer(act::shell, 0, "sleep 8"), peer(act::shell, 0, lift)},
                    .stream = {"source"}, .pieces = {"copy"}}),
        namespaced({.name = "blackout_never_lifted", .sender = {"-port={port}", "source"}, .files = {{"source", 4LL << 30}}, .wrap = "export WIRE_TEST_PEER_TIMEOUT=9",
                    .steps = {peer(act::size, mib, "copy"), peer(act::shell, 0, filter("drop"))}, .stream = {"source"}, .sender_status = 1, .receiver_status = 1,
                    .output = {{S, "\nError: send failed: Connection Timed Out\n"}, {R, "\nError: recv failed: Connection Timed Out\n"}}, .partial = true}),
        {.name = "config_shows_the_address_of_an_isolated_link", .sender = {"-config"},
         .wrap = "exec ip netns exec wtS{port} unshare --uts sh -c 'hostname localhost && exec \"$@\"' sh \"$@\"", .setup = namespaces, .teardown = remove_namespaces,
         .sender_status = 1, .output = {{S, "Local TCP/IP address: 10.200.0.1\n"}}},
    };
}

std::vector<row> terminal_rows() {
    const std::string again = blank + question;  // each key asks again, blanking the line first
    const std::vector<step> receiver_abort = {peer(act::send, 1000), wait(R, "Received a connection"), keys(R, "x"), wait(R, question), keys(R, "y"), wait(R, "Y\r\n\r\nNotice: recv was aborted\r\n")};
    return {
        // One question per key, so the second half of a two-part code never answers it.
        waiting_sender("abort_question_while_waiting",
                       {keys(S, "x"), wait(S, question), keys(S, "n"), wait(S, blank + waiting), keys(S, "\x1c"), wait(S, question), keys(S, "x"), wait(S, again),
                        keys(S, "\x1b[A"), wait(S, again), keys(S, "\x1bOP"), wait(S, again), keys(S, "\x1b"), wait(S, again), keys(S, "\x13"), wait(S, again),
                        keys(S, "\x1b[15;5~"), wait(S, again), keys(S, "\r"), wait(S, blank + waiting), keys(S, "\x1a"), wait(S, question), {act::flag, S, "0", ISIG},
                        keys(S, "\x03"), wait(S, again), keys(S, "Y"), wait(S, "Y\r\n" + blank + "Notice: send was aborted\r\n")}),
        waiting_sender("ctrl_c_outside_the_question_cancels",
                       {{act::flag, S, "0", ICANON}, keys(S, "\x03"), wait(S, "\r\nAborting connection ... \r\n")}),
        waiting_sender("hang_up_restores_the_terminal", {{act::flag, S, "0", ICANON}, sig(S, SIGHUP)}, 128 + SIGHUP),
        {.name = "typed_ahead_key_raises_the_question", .sender = {"-port={port}", "-quiet", "f"}, .files = {{"f", 5}},
         .run = {.input = "x", .terminal = true}, .steps = {wait(S, question), keys(S, "Y"), wait(S, "Notice: send was aborted")},
         .sender_status = 1},
        {.name = "two_y_end_generated_mode", .sender = {"-port={port}", "-"}, .run = {.terminal = true},
         .steps = {peer(act::connect), peer(act::read, 65536), keys(S, "Y"), wait(S, question), keys(S, "Y"),
                   wait(S, "Y\r\n" + blank + "Notice: send was aborted\r\n")},
         .stream = {"-"}, .partial = true, .counts_what_peer_read = true},
        {.name = "answer_read_in_normal_mode", .sender = {"-port={port}", "-pause", "f"}, .files = {{"f", 5}, {"other", 3000}},
         .run = {.terminal = true},
         .steps = {peer(act::connect), wait(S, "to quit: "), {act::flag, S, "1", ICANON}, keys(S, "other\r"),
                   wait(S, "other\r\n"), wait(S, "Successfully sent")},
         .stream = {"other"}},
        {.name = "background_job_leaves_the_terminal_alone", .sender = {"-port={port}", "f"}, .files = {{"f", 5}},
         .run = {.input = "x\r", .terminal = true}, .wrap = "set -m; \"$@\" & wait $!",
         .steps = {wait(S, "Waiting for connection"), {act::idle, S}, peer(act::connect)}, .stream = {"f"},
         .never = {{S, question}}},
        {.name = "receiver_abort_deletes_the_file", .receiver = {"-port={port}", "127.0.0.1", "copy"}, .run = {.terminal = true}, .steps = receiver_abort, .receiver_status = 1},
        {.name = "receiver_abort_into_dash_counts", .receiver = {"-port={port}", "127.0.0.1", "-"}, .run = {.terminal = true}, .steps = receiver_abort},
    };
}

// clang-format on

}  // namespace wt
