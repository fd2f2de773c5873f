#pragma once

// One row is one run of pitchwire, catchwire or both, against the test's own TCP peer when a
// program runs alone: files to make, steps to play, and what must hold at the end. Texts may
// hold {dir} (the run's folder), {port}, {sha} and {SHA} (the expected stream's SHA-256),
// {sha:NAME} (a piece's).

#include <ostream>
#include <string>
#include <vector>

#include "harness.h"

namespace wt {

constexpr long long mib = 1LL << 20;
constexpr int any_status = -1;

struct file_spec {
    std::string name{};
    // Random bytes; a FIFO when negative, and sparse beyond 64 MiB: only the first mebibyte
    // is data.
    long long size = 0;
};

// Who a step or a text is for: the sender, the receiver, or the test's TCP peer.
enum who : char { S = 'S', R = 'R', P = 'P' };
enum class act {
    start,   // the program starts (rows without one start everything first)
    wait,    // its text appears after the last one waited for
    quiet,   // its text does not appear within n ms
    keys,    // text is typed to it
    signal,  // it gets signal n, again every 200 ms until the text appears if one is given
    finish,  // it ends with the row's status
    flag,    // its terminal's local-mode flag n is set (text "1") or clear
    idle,    // it uses less than half a processor
    listen,  // the peer listens on {port}, accepting nothing yet
    accept,
    connect,  // the peer connects to {port}, with a receive buffer of n bytes when n > 0
    read,     // the peer reads n bytes, or to the end when n is 0
    send,     // the peer sends n random bytes, or text
    close,    // the peer closes, with a reset when n is 1
    shell,    // text runs with /bin/sh in {dir} and succeeds
    size,     // the file text in {dir} holds n bytes or more
};

struct step {
    act what{};
    who on = P;
    std::string text{};
    long long n = 0;
};

// clang-format off
inline step start(who on) { return {act::start, on}; }
inline step wait(who on, std::string text) { return {act::wait, on, std::move(text)}; }
inline step keys(who on, std::string text) { return {act::keys, on, std::move(text)}; }
inline step sig(who on, int number, std::string until = "") { return {act::signal, on, std::move(until), number}; }
inline step peer(act what, long long n = 0, std::string text = "") { return {what, P, std::move(text), n}; }
// clang-format on

// A text one program prints; those of a row appear in its output in their order.
struct says {
    who on{};
    std::string text{};
};

struct row {
    std::string name{};
    std::vector<std::string> sender{};  // pitchwire's arguments; none: it does not run
    std::vector<std::string> receiver{};
    // Other command lines of the one program that must end as this one does (0 or 1 for
    // any_status), silent on standard error and with the same output; {} is the call without
    // arguments.
    std::vector<std::vector<std::string>> same{};
    std::vector<file_spec> files{};
    start_options run{};     // standard input, and the terminal; dir is the row's
    std::string wrap{};      // shell lines running "$@", $0 being S or R; exit status 77 skips
    std::string setup{};     // shell lines run in {dir} before the run; exit status 77 skips
    std::string teardown{};  // and after it, whatever happened; they must succeed
    std::vector<step> steps{};
    // The stream is what the peer sent, or else these files in order as they are at the end
    // ("-" the counting pattern, "0" zeros).
    std::vector<std::string> stream{};
    int sender_status = 0;
    int receiver_status = 0;
    std::string out{};  // the one program's whole output, its address line dropped
    std::vector<says> output{};
    std::vector<says> never{};
    std::vector<std::string> pieces{};  // files in {dir}, "NAME" or "NAME=SIZE", of the stream
    std::vector<std::string> extra{};   // other files the run may leave in {dir}
    bool partial = false;  // the counts, the pieces and the peer's bytes are a beginning of it
    bool counts_what_peer_read = false;
    int whole_blocks = 0;         // the sender's count is a multiple of it
    bool data_on_stdout = false;  // the receiver's standard output is the stream
};

void PrintTo(const row& r, std::ostream* out);  // names a row in test listings

std::vector<row> sender_rows();
std::vector<row> receiver_rows();
std::vector<row> pair_rows();
std::vector<row> terminal_rows();

}  // namespace wt
