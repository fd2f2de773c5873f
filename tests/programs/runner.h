#pragma once

// One row is one run of pitchwire, catchwire or both, against the test's own TCP peer where
// one program runs alone: files to make, steps to play, and what must hold at the end.
// Texts take the placeholders {dir} (the run's folder), {port}, {sha} and {SHA} (the
// SHA-256 of the expected stream, in lower and upper case).

#include <ostream>
#include <string>
#include <vector>

namespace wt {

constexpr int mib = 1 << 20;

struct file_spec {
    std::string name{};
    long long size = 0;  // random bytes; with sparse, only the first mebibyte is
    bool sparse = false;
    bool fifo = false;
};

// Who a step is for: the sender, the receiver, or the test's peer.
enum who : char { S = 'S', R = 'R', P = 'P' };
enum class act {
    start,       // start the program
    wait,        // its text appears on standard output (stderr when n is 2)
    quiet,       // its text does not appear within n ms
    keys,        // type text to it
    end_input,   // close its standard input
    signal,      // send it signal n
    signal_until,  // send signal n every 200 ms until text appears
    finish,      // wait for its end and check its status
    flag,        // its terminal's local flag text[0]-coded n is on (text "1") or off
    idle,        // it uses less than half a processor
    listen,      // the peer listens on {port} (and accepts nothing until accept)
    accept,
    connect,     // the peer connects to {port}, with receive buffer n when n > 0
    refused,     // a second connection to {port} is refused
    read,        // the peer reads n bytes, or to the end when n is 0
    send,        // the peer sends n random bytes, or text
    close,       // the peer closes; with n == 1 by a reset
    shell,       // run text with /bin/sh in {dir}; it must succeed
    sleep,       // n ms
    size,        // the file text in {dir} holds at least n bytes
};

struct step {
    act what{};
    who on = P;
    std::string text{};
    long long n = 0;
};

inline step start(who on) { return {act::start, on}; }
inline step wait(who on, std::string text, int stream = 1) { return {act::wait, on, std::move(text), stream}; }
inline step quiet(who on, std::string text, int ms) { return {act::quiet, on, std::move(text), ms}; }
inline step keys(who on, std::string text) { return {act::keys, on, std::move(text)}; }
inline step sig(who on, int number) { return {act::signal, on, "", number}; }
inline step sig_until(who on, int number, std::string text) { return {act::signal_until, on, std::move(text), number}; }
inline step done(who on) { return {act::finish, on}; }
inline step idle(who on) { return {act::idle, on}; }
inline step mode_flag(who on, long long flag, bool set) { return {act::flag, on, set ? "1" : "0", flag}; }
inline step peer(act what, long long n = 0, std::string text = "") { return {what, P, std::move(text), n}; }
inline step sh(std::string command) { return {act::shell, P, std::move(command)}; }
inline step nap(int ms) { return {act::sleep, P, "", ms}; }
inline step size_at_least(std::string name, long long n) { return {act::size, P, std::move(name), n}; }

// A text one program prints: those of a row must appear in its output in their order.
struct says {
    who on{};
    std::string text{};
};

constexpr int any_status = -1;

struct row {
    std::string name{};
    std::vector<std::string> sender{};    // pitchwire's arguments; none: it does not run
    who bare = P;                       // S or R: that program runs without arguments
    std::vector<std::string> receiver{};  // catchwire's arguments; none: it does not run
    std::vector<file_spec> files{};
    std::string input{};                  // standard input of the program(s)
    bool keep_input = false;
    bool terminal = false;              // the one program runs on a pseudo-terminal
    bool background = false;
    long file_size_limit = -1;
    long open_files_limit = -1;
    std::vector<std::string> environment{};
    std::string wrap{};      // a shell line running "$@" (the program and its arguments); 77: skip
    std::string setup{};     // shell lines run in {dir} first (77: skip) and after the run
    std::string teardown{};
    std::vector<step> steps{};
    // What must hold. The stream is what the peer sent, or else the files named here in
    // order as they are at the end ("-" the counting pattern, "0" zeros).
    std::vector<std::string> stream{};
    int sender_status = 0;
    int receiver_status = 0;
    std::string out{};  // the one program's whole output, exactly (the address line dropped)
    std::vector<says> output{};        // in order
    std::vector<says> never{};
    std::vector<std::string> pieces{};  // files in {dir} that together hold the stream
    std::vector<std::string> extra{};   // other files the run may leave in {dir}
    bool partial = false;  // the counts, pieces and peer's bytes are a beginning of the stream
    bool counts_what_peer_read = false;
    int whole_blocks = 0;   // the sender's count is a multiple of it
    bool data_on_stdout = false;  // the receiver's output is the stream; its messages on stderr
};

void PrintTo(const row& r, std::ostream* out);  // names a row in test listings

std::vector<row> sender_rows();
std::vector<row> receiver_rows();
std::vector<row> pair_rows();
std::vector<row> terminal_rows();

}  // namespace wt
