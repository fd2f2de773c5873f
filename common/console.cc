#include "console.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "key_decoder.h"

namespace {

// How long an Escape waits for the rest of a sequence before it counts as the Escape key.
constexpr int escape_wait_ms = 40;

constexpr int enter_code = 13;
constexpr int status_line_width = 79;

int console_fd = -1;
// Set after a hang-up: the descriptor stays open for close_console but is never read again.
bool console_gone = false;
termios saved_mode{};
// The terminal whose mode saved_mode holds, or -1 before it is saved. Set only after
// saved_mode is complete, so a signal handler never sees half of it.
std::atomic<int> restorable_fd{-1};
static_assert(std::atomic<int>::is_always_lock_free);
bool close_registered = false;

// Bytes read from the terminal and not yet decoded: between calls the start of one sequence
// (shorter than max_sequence_length), or keys left over when the code queue filled up.
constexpr std::size_t raw_capacity = 64;
std::array<unsigned char, raw_capacity> raw_bytes{};
std::size_t raw_length = 0;

// Decoded codes not yet returned by read_key; the second half of a two-part code waits
// here. Filled only when empty, and never with more than two codes per raw byte.
std::array<int, max_codes_per_key * raw_capacity> key_codes{};
std::size_t code_next = 0;
std::size_t code_count = 0;

bool codes_waiting() {
    return code_next < code_count;
}

// True while this process group owns the terminal; anything else would be stopped by
// SIGTTOU or SIGTTIN for touching it. A terminal that has no foreground group for us any
// more (after a hang-up it is no longer our controlling terminal) is gone.
bool in_foreground() {
    const pid_t owner = tcgetpgrp(console_fd);
    if (owner < 0) {
        console_gone = true;
        return false;
    }
    return owner == getpgrp();
}

// True when the terminal is open, has not hung up, and this process may touch it.
bool terminal_usable() {
    return console_fd >= 0 && !console_gone && in_foreground();
}

// Records a failed terminal call; a hang-up (EIO) means the terminal is gone for good.
void note_terminal_error() {
    if (errno == EIO) {
        console_gone = true;
    }
}

// The polling mode made from mode: no line editing, echo or flow control, Enter read as
// CR, and the interrupt key still on; output processing and the line settings stay.
termios polling_mode_of(const termios& mode) {
    termios polling = mode;
    polling.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
    polling.c_lflag |= ISIG;
    polling.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
    polling.c_cc[VQUIT] = _POSIX_VDISABLE;
    polling.c_cc[VSUSP] = _POSIX_VDISABLE;
    polling.c_cc[VMIN] = 1;
    polling.c_cc[VTIME] = 0;
    return polling;
}

// True when mode reads keys as the polling mode does; wanted_signals says whether the
// interrupt key is to be on.
bool has_polling_settings(const termios& mode, bool wanted_signals) {
    return (mode.c_lflag & (ICANON | ECHO | ECHONL | IEXTEN)) == 0 &&
           ((mode.c_lflag & ISIG) != 0) == wanted_signals &&
           (mode.c_iflag & (ICRNL | INLCR | IGNCR | IXON)) == 0 &&
           mode.c_cc[VQUIT] == _POSIX_VDISABLE && mode.c_cc[VSUSP] == _POSIX_VDISABLE &&
           mode.c_cc[VMIN] == 1 && mode.c_cc[VTIME] == 0;
}

// Sets mode at once (never flushing typed-ahead keys) and checks that all of it took, as
// tcsetattr succeeds when any part does. Returns 0, or 1 when the mode is not in force.
int set_terminal_mode(const termios& mode, bool wanted_signals) {
    if (tcsetattr(console_fd, TCSANOW, &mode) != 0) {
        note_terminal_error();
        return 1;
    }
    termios now{};
    if (tcgetattr(console_fd, &now) != 0) {
        note_terminal_error();
        return 1;
    }
    return has_polling_settings(now, wanted_signals) ? 0 : 1;
}

// Puts the terminal in polling mode unless it is already, saving the mode found the first
// time. Returns 0, or 1 when the mode cannot be read or set. Only in the foreground.
int ensure_polling_mode() {
    termios current{};
    if (tcgetattr(console_fd, &current) != 0) {
        note_terminal_error();
        return 1;
    }
    if (restorable_fd.load() < 0) {
        saved_mode = current;
        restorable_fd.store(console_fd);
    }
    if (has_polling_settings(current, true)) {
        return 0;
    }
    return set_terminal_mode(polling_mode_of(current), true);
}

// Decodes the raw bytes into codes while there is room for a whole key. With input_ended a
// started sequence is decided as it stands. Returns true when the bytes left are the start
// of a sequence that more bytes may complete.
bool decode_raw_bytes(bool input_ended) {
    std::size_t used = 0;
    bool incomplete = false;
    while (used < raw_length && code_count + max_codes_per_key <= key_codes.size()) {
        std::array<int, max_codes_per_key> codes{};
        int count = 0;
        // A full buffer cannot wait for more: decide what is there.
        const bool ended = input_ended || raw_length == raw_bytes.size();
        const std::size_t taken =
            decode_key(std::span<const unsigned char>(raw_bytes.data() + used, raw_length - used),
                       ended, codes, &count);
        if (taken == 0) {
            incomplete = true;
            break;
        }
        used += taken;
        for (int index = 0; index < count; ++index) {
            key_codes[code_count++] = codes[index];
        }
    }
    std::memmove(raw_bytes.data(), raw_bytes.data() + used, raw_length - used);
    raw_length -= used;
    return incomplete;
}

// Reads what the terminal has into the raw bytes, waiting up to timeout_ms (-1: until a
// key comes). Returns the number of bytes read, 0 when none came in time, or -1 when the
// wait was interrupted by a signal (only when waiting without limit) or the terminal is gone.
int read_raw_bytes(int timeout_ms) {
    if (raw_length == raw_bytes.size()) {
        return 0;
    }
    pollfd terminal{console_fd, POLLIN, 0};
    const int ready = poll(&terminal, 1, timeout_ms);
    if (ready < 0) {
        return errno == EINTR && timeout_ms >= 0 ? 0 : -1;
    }
    if (ready == 0) {
        return 0;
    }
    if ((terminal.revents & POLLIN) != 0) {
        const ssize_t count =
            read(console_fd, raw_bytes.data() + raw_length, raw_bytes.size() - raw_length);
        if (count > 0) {
            raw_length += static_cast<std::size_t>(count);
            return static_cast<int>(count);
        }
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
            return timeout_ms >= 0 ? 0 : -1;
        }
        console_gone = true;  // read returns 0 for ever after a hang-up
        return -1;
    }
    console_gone = true;  // POLLHUP, POLLERR or POLLNVAL without data
    return -1;
}

// Fills the empty code queue from the terminal: what is waiting, or with wait_for_key the
// next key press. Returns 0, or 1 when the read was interrupted or the terminal is gone.
int fill_code_queue(bool wait_for_key) {
    code_next = 0;
    code_count = 0;
    for (;;) {
        const bool incomplete = decode_raw_bytes(false);
        if (incomplete) {
            const int count = read_raw_bytes(escape_wait_ms);
            if (count < 0) {
                return 1;
            }
            if (count == 0) {
                decode_raw_bytes(true);
            }
            continue;
        }
        if (codes_waiting()) {
            return 0;
        }
        const int count = read_raw_bytes(wait_for_key ? -1 : 0);
        if (count < 0) {
            return 1;
        }
        if (count == 0) {
            return 0;
        }
    }
}

// Drops every key press that is waiting, both halves of two-part codes included.
void discard_waiting_keys() {
    while (key_pending()) {
        read_key();
    }
}

}  // namespace

// Opens the controlling terminal. Without one (no terminal, or a service) the console is
// absent and the program runs on; nothing is reported.
void open_console() {
    if (console_fd >= 0) {
        return;
    }
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    console_fd = fd;
    console_gone = false;
    if (!close_registered) {
        close_registered = std::atexit(close_console) == 0;
    }
    // A background job sets the mode when it first polls in the foreground.
    if (in_foreground()) {
        ensure_polling_mode();
    }
}

// Puts back the mode found at open and closes the terminal; does nothing when it is closed.
void close_console() {
    if (console_fd < 0) {
        return;
    }
    console_normal_mode();
    restorable_fd.store(-1);
    close(console_fd);
    console_fd = -1;
    console_gone = false;
    raw_length = 0;
    code_next = 0;
    code_count = 0;
}

// The descriptor, or -1 when there is no terminal, it has hung up, or another job owns it.
// In each of those cases poll would report input that key_pending never takes, so a wait
// on it would return at once, again and again.
int console_input_fd() {
    return terminal_usable() ? console_fd : -1;
}

// Restores the saved mode if this process may touch the terminal; failures leave the mode.
void console_normal_mode() {
    if (restorable_fd.load() >= 0 && terminal_usable()) {
        tcsetattr(console_fd, TCSANOW, &saved_mode);
    }
}

// Only calls that are safe in a signal handler; the foreground test keeps a background job
// from being stopped by SIGTTOU while it dies.
void console_restore_from_handler() {
    const int fd = restorable_fd.load();
    if (fd >= 0 && tcgetpgrp(fd) == getpgrp()) {
        tcsetattr(fd, TCSANOW, &saved_mode);
    }
}

// Sets the polling mode again if this process may touch the terminal.
void console_polling_mode() {
    if (terminal_usable()) {
        ensure_polling_mode();
    }
}

// True when a decoded key code waits. Reads only what the terminal already has (an Escape
// waits escape_wait_ms for the rest of its sequence); false without a terminal, in the
// background, or once the terminal is gone.
bool key_pending() {
    if (codes_waiting()) {
        return true;
    }
    if (!terminal_usable() || ensure_polling_mode() != 0) {
        return false;
    }
    fill_code_queue(false);
    return codes_waiting();
}

// The next key code, waiting for a key press with the interrupt key switched off (Ctrl+C
// reads as 3). Returns -1 without a terminal, in the background, when the mode cannot be
// set, when the terminal is gone, or when a signal interrupted the wait.
int read_key() {
    if (!codes_waiting()) {
        if (!terminal_usable()) {
            return -1;
        }
        termios found{};
        if (tcgetattr(console_fd, &found) != 0) {
            note_terminal_error();
            return -1;
        }
        termios reading = polling_mode_of(found);
        reading.c_lflag &= ~static_cast<tcflag_t>(ISIG);
        int status = set_terminal_mode(reading, false);
        if (status == 0) {
            status = fill_code_queue(true);
        }
        if (!console_gone) {
            tcsetattr(console_fd, TCSANOW, &found);
        }
        if (status != 0 || !codes_waiting()) {
            return -1;
        }
    }
    return key_codes[code_next++];
}

// Asks "Abort [N]: " when a key waits; the key that raised the question is never its
// answer. Returns 1 for Y; 0 for no key, N, Enter, or a terminal that cannot be read.
int ask_abort() {
    if (!key_pending()) {
        return 0;
    }
    discard_waiting_keys();
    for (;;) {
        clear_status_line();
        std::printf("Abort [N]: ");
        std::fflush(stdout);
        int code = read_key();
        if (code >= 0) {
            code = std::toupper(code);
        }
        discard_waiting_keys();
        if (code == 'N' || code == enter_code || code < 0) {
            clear_status_line();
            return 0;
        }
        if (code == 'Y') {
            std::printf("Y\n");
            std::fflush(stdout);
            return 1;
        }
    }
}

// Blanks the first 79 columns of the current line and leaves the cursor at its start.
void clear_status_line() {
    std::fflush(stdout);
    std::putchar('\r');
    for (int column = 0; column < status_line_width; ++column) {
        std::putchar(' ');
    }
    std::putchar('\r');
    std::fflush(stdout);
}
