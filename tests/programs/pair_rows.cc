// pitchwire and catchwire together, on loopback or between two network namespaces.

#include <csignal>

#include "runner.h"

namespace wt {
namespace {

const std::string ask = "Enter new filename [Q]: ";

// Files sent into one copy, or into "-".
row exact(const std::string& name, const std::vector<long long>& sizes, bool into_file = true) {
    row made{.name = name,
             .sender = {"-port={port}"},
             .receiver = {"-port={port}", "127.0.0.1", into_file ? "copy" : "-"}};
    for (const long long size : sizes) {
        made.files.push_back({"in" + std::to_string(made.files.size()), size});
        made.sender.push_back(made.files.back().name);
        made.stream.push_back(made.files.back().name);
    }
    if (into_file) {
        made.pieces = {"copy"};
    }
    return made;
}

// clang-format off

// The sender stops early: the receiver sees a reset and keeps no partial copy.
row early_stop(row made) {
    made.receiver = {"-port={port}", "127.0.0.1", "copy"};
    made.sender_status = made.receiver_status = 1;
    made.output.push_back({R, "\nError: recv failed: Connection Reset\n"});
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
const std::string remove_namespaces = "ip netns delete wtS{port}; ip netns delete wtR{port}";
const std::string in_namespace = "exec ip netns exec wt$0{port} \"$@\"";

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
    made.wrap = (made.wrap.empty() ? "" : made.wrap + "; ") + in_namespace;
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

}  // namespace

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
        early_stop({.name = "sigint_mid_file_resets", .sender = {"-port={port}", "sparse"}, .files = {{"sparse", 4LL << 30, true}},
                    .steps = {peer(act::size, mib, "copy"), sig(S, SIGINT, "Aborting connection")}, .stream = {"sparse"},
                    .output = {{S, "\nNotice: send was aborted\n"}, {S, "\nAborting connection ... \n"}}, .never = {{S, "Could not send complete"}}}),
        early_stop({.name = "sigint_while_a_fifo_waits_for_its_writer", .sender = {"-port={port}", "head", "fifo"}, .files = {{"head", mib}, {.name = "fifo", .fifo = true}},
                    .steps = {peer(act::size, mib, "copy"), sig(S, SIGINT, "Aborting connection")}, .stream = {"head"},
                    .output = {{S, "Opening file: fifo\n"}, {S, "\nAborting connection ... \n"}}, .never = {{S, "Could not open"}, {S, "Enter new filename"}}}),
        {.name = "end_of_input_at_the_piece_prompt_stops", .sender = {"-port={port}", "first"}, .receiver = {"-port={port}", "-autosize=1", "127.0.0.1", "copy"},
         .files = {{"first", mib + 5}}, .stream = {"first"}, .sender_status = any_status,
         .output = {{R, "Reached the end of file copy\n" + ask}, {R, "Successfully received "}}, .never = {{R, ask + ask}}, .pieces = {"copy=1048576"}, .partial = true},
        {.name = "receiver_killed", .sender = {"-port={port}", "source"}, .receiver = copy, .files = {{"source", 4LL << 30, true}}, .steps = {peer(act::size, mib, "copy"), sig(R, SIGKILL)},
         .stream = {"source"}, .sender_status = 1, .receiver_status = 128 + SIGKILL, .output = {{S, "\nError: send failed: Connection "}, {S, "Successfully sent "}},
         .extra = {"copy"}, .partial = true},
        {.name = "sender_killed", .sender = {"-port={port}", "source"}, .receiver = copy, .files = {{"source", 4LL << 30, true}}, .steps = {peer(act::size, mib, "copy"), sig(S, SIGKILL)},
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
                    .steps = {peer(act::size, mib, "copy"), peer(act::shell, 0, filter("drop")), peer(act::sleep, 8000), peer(act::shell, 0, lift)},
                    .stream = {"source"}, .pieces = {"copy"}}),
        namespaced({.name = "blackout_never_lifted", .sender = {"-port={port}", "source"}, .files = {{"source", 4LL << 30, true}}, .wrap = "export WIRE_TEST_PEER_TIMEOUT=9",
                    .steps = {peer(act::size, mib, "copy"), peer(act::shell, 0, filter("drop"))}, .stream = {"source"}, .sender_status = 1, .receiver_status = 1,
                    .output = {{S, "\nError: send failed: Connection Timed Out\n"}, {R, "\nError: recv failed: Connection Timed Out\n"}}, .partial = true}),
        {.name = "config_shows_the_address_of_an_isolated_link", .sender = {"-config"},
         .wrap = "exec ip netns exec wtS{port} unshare --uts sh -c 'hostname localhost && exec \"$@\"' sh \"$@\"", .setup = namespaces, .teardown = remove_namespaces,
         .sender_status = 1, .output = {{S, "Local TCP/IP address: 10.200.0.1\n"}}},
    };
}
// clang-format on

}  // namespace wt
