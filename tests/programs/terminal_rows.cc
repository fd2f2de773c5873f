// One program on a pseudo-terminal with the operator at its keyboard.

#include <termios.h>

#include <csignal>

#include "runner.h"

namespace wt {
namespace {

const std::string blank = "\r" + std::string(79, ' ') + "\r";
const std::string question = "Abort [N]: ";
const std::string waiting = "\rWaiting for connection [ESC to abort] ... ";

// clang-format off
row waiting_sender(std::string name, std::vector<step> steps, int status = 1) {
    steps.insert(steps.begin(), wait(S, "Waiting for connection"));
    return {.name = std::move(name), .sender = {"-port={port}", "-quiet", "f"}, .files = {{"f", 5}}, .run = {.terminal = true}, .steps = std::move(steps), .stream = {"f"},
            .sender_status = status, .partial = true};
}

}  // namespace

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
