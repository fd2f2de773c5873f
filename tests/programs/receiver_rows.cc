// catchwire alone: its command line, and its transfers from a plain sender of the test's own.

#include <csignal>

#include "runner.h"

namespace wt {
namespace {

const std::string net = "{bannerR}Initializing TCP/IP Protocol Stack\n";
const std::string unknown = "{bannerR}Error: Unknown argument: ";
const std::string reset = "\nError: recv failed: Connection Reset\n";

// clang-format off
// size bytes into numbered pieces of piece_size.
row numbered(std::string name, std::vector<std::string> options, int size, int piece_size) {
    row made{.name = std::move(name), .receiver = {"-port={port}", "-autoname", "127.0.0.1", "IMAGE"}, .steps = {peer(act::send, size)}, .never = {{R, "Reached the end"}}};
    made.receiver.insert(made.receiver.begin() + 1, options.begin(), options.end());
    for (int start = 0; start < size; start += piece_size) {
        made.pieces.push_back("IMAGE.00" + std::to_string(made.pieces.size()) + "=" + std::to_string(std::min(piece_size, size - start)));
    }
    return made;
}

}  // namespace

std::vector<row> receiver_rows() {
    const std::string help = "{bannerR}{usageR}", n511(511, 'n');
    const std::string digest_length = "Error: -sha256= must be followed by 64 hexadecimal digits\n";
    const std::string extension = net + "\nError: Auto Naming is enabled and the file has an extension.\n";
    const std::string port_zero = net + "Error: Could not connect to host - TCP/IP error 10049\n";
    const std::string invalid = net + "\nError: Invalid destination TCP/IP address\n{usageR}";
    const std::string ask = "Enter new filename [Q]: ";
    const std::vector<says> stdout_sink = {{R, "Received a connection from host 127.0.0.1\n"}, {R, "\nSuccessfully received 100,000 bytes at "}};
    return {
        {.name = "random_command_lines", .receiver = {"-config"}, .same = random_lines(2), .receiver_status = any_status},
        line(R, "help_forms", {{"-HELP"}, {}, {"/?"}, {"-quiet", "-?"}, {"-h", "127.0.0.1", "f"}}, help, 0),
        line(R, "unknown_then_help", {{"-bogus", "-Help"}, {"-bogus", "--help"}}, unknown + "-bogus\n" + help, 0),
        line(R, "version", {{"-bogus", "--version", "-h"}, {"-V"}}, "catchwire 1.34\n", 0),
        line(R, "unix_forms_are_exact", {{"--Version", "-v"}}, unknown + "--Version\n" + unknown + "-v\n"),
        line(R, "every_unknown_argument", {{"-x", "-port", "127.0.0.1", "f"}}, unknown + "-x\n" + unknown + "-port\n"),
        line(R, "second_file_name", {{"-quiet", "127.0.0.1", "a", "b"}}, "{bannerR}Error: filename has already been specified\n"),
        line(R, "name_of_512", {{"127.0.0.1", std::string(512, 'n')}}, "{bannerR}Error: File names are limited to 511 characters\n"),
        line(R, "autosize_incomplete", {{"-autosize"}, {"-AutoSizeX=1"}}, "Error: Incomplete option to Auto Size\n"),
        line(R, "autosize_empty", {{"-autosize=", "127.0.0.1", "f"}}, "Error: Missing size in -autosize option\n"),
        line(R, "autosize_zero", {{"-autosize=0", "127.0.0.1", "f"}}, "Error: -autosize must be at least 1 MB\n"),
        line(R, "autosize_suffix", {{"-autosize=99999999999999999999x"}}, "Error: found non decimal character in -autosize option\n"),
        line(R, "autosize_too_large", {{"-autosize=17592186044416"}}, "Error: -autosize value is too large\n"),
        line(R, "digest_of_63_65_or_not_hexadecimal", {{"-sha256=" + std::string(63, 'a'), "127.0.0.1", "f"}, {"-SHA256=" + std::string(65, 'F'), "127.0.0.1", "f"}, {"-sha256=" + std::string(63, '0') + "g", "-help"}}, digest_length),
        line(R, "port_missing", {{"-port="}}, "Error: Missing port number\n"),
        line(R, "port_sign", {{"-PORT=+80"}}, "Error: Port numbers must be decimal characters\n"),
        line(R, "config_stops", {{"-config", "127.0.0.1", "f"}, {"-autosize=2000", "-config"}}, net),
        line(R, "quiet_config", {{"-quiet", "-pause", "-debug", "-config"}}, "{quietR}Initializing TCP/IP Protocol Stack\n"),
        line(R, "autosize_2001_warns", {{"-autosize=2001", "-config"}}, "Warning: DOS files are limited to 2GB in size.\n" + net),
        line(R, "no_file_name", {{"f"}, {"127.0.0.1"}}, net + "Error: filename must be specified\n"),
        line(R, "no_address", {{"-port=2000"}}, net + "Error: ip_addr must be specified\n"),
        line(R, "invalid_address", {{"0.0.0.0", "f"}, {"no..such..host", "f"}}, invalid),
        line(R, "autoname_with_extension", {{"-autoname", "127.0.0.1", "IMAGE.DAT"}, {"-autoname", "127.0.0.1", "dir/IMAGE."}}, extension),
        line(R, "name_of_511_cannot_be_made", {{"127.0.0.1", n511}}, net + "Error: Could not create file: " + n511 + "\n       File name too long\n"),
        line(R, "port_zero_or_beyond_65535", {{"-port=0", "-", "127.0.0.1", "f"}, {"-port=65536", "127.0.0.1", "f"}}, port_zero),
        {.name = "failure_keeps_a_fifo", .receiver = {"-port=0", "127.0.0.1", "{dir}/fifo"}, .files = {{.name = "fifo", .fifo = true}}, .steps = {start(R), {act::finish, R}, peer(act::shell, 0, "test -p fifo")}, .receiver_status = 1},
        {.name = "retries_until_the_sender_listens", .receiver = {"-port={port}", "127.0.0.1", "out"}, .steps = {start(R), wait(R, "Connection Refused, Retry 2\r"), peer(act::listen), peer(act::accept)},
         .output = {{R, "Error: Could not connect to host - Connection Refused, Retry 1\r"}, {R, "Retry 2\r"}, {R, "Received a connection from host 127.0.0.1\n"}, {R, "\nSuccessfully received 0 bytes at 0 KBS\nTCPIP Data Checksum: 0\n"}}, .pieces = {"out"}},
        {.name = "sigint_while_retrying_deletes_the_empty_file", .receiver = {"-port={port}", "127.0.0.1", "early"}, .steps = {start(R), wait(R, "Retry 1\r"), sig(R, SIGINT)}, .receiver_status = 1, .output = {{R, "\nAborting connection ... \n"}}},
        {.name = "sigint_at_the_piece_prompt", .receiver = {"-port={port}", "-autosize=1", "127.0.0.1", "ONE"}, .run = {.keep_input = true}, .steps = {peer(act::send, mib + 1), peer(act::close), wait(R, ask), sig(R, SIGINT, "Aborting connection")},
         .receiver_status = 1, .output = {{R, "[Q]: \nAborting connection ... \n"}}, .pieces = {"ONE=1048576"}, .partial = true},
        {.name = "short_tail_never_held_back", .receiver = {"-port={port}", "127.0.0.1", "out"},
         .steps = {peer(act::send, 0, std::string(100, 'a')), peer(act::sleep, 2100), peer(act::send, 0, "b"), wait(R, "Recv: Total Bytes Received: 101 KBS: "), peer(act::send, 32768)},
         .output = {{R, "\nSuccessfully received 32,869 bytes at "}}, .pieces = {"out"}},
        {.name = "host_name_is_looked_up", .receiver = {"-port={port}", "localhost", "out"}, .steps = {peer(act::send, 0, "abc")}, .output = {{R, "Received a connection from host localhost\n"}}, .pieces = {"out"}},
        {.name = "dev_stdout_carries_only_the_data", .receiver = {"-port={port}", "127.0.0.1", "/dev/stdout"}, .steps = {peer(act::send, 100000)}, .output = stdout_sink, .data_on_stdout = true},
        {.name = "proc_fd_1_carries_only_the_data", .receiver = {"-port={port}", "127.0.0.1", "/proc/self/fd/1"}, .steps = {peer(act::send, 100000)}, .output = stdout_sink, .data_on_stdout = true},
        {.name = "file_size_limit_deletes_the_file", .receiver = {"-port={port}", "127.0.0.1", "out"}, .wrap = "ulimit -f 200; exec \"$@\"", .steps = {peer(act::send, mib)},  // 102,400 bytes
         .receiver_status = 1, .output = {{R, "\n\nError: Could not write to file: File too large\n"}}, .partial = true},
        {.name = "full_disk_keeps_earlier_pieces", .receiver = {"-port={port}", "-autosize=1", "-autoname", "127.0.0.1", "IMAGE"},
         .setup = "[ \"$(id -u)\" = 0 ] || exit 77; mount -t tmpfs -o size=2560k wiretest {dir} || exit 77", .teardown = "umount -l {dir}", .steps = {peer(act::send, 4 * mib)},
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
        numbered("numbered_pieces_with_a_tail", {"-autosize=1"}, 3 * mib + 5, mib),
        numbered("no_empty_piece_at_a_boundary", {"-autosize=1"}, 2 * mib, mib),
        numbered("autoname_alone_names_one_file", {}, 2 * mib + 1, 3 * mib),
    };
}
// clang-format on

}  // namespace wt
