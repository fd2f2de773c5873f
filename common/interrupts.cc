#include "interrupts.h"

#include <signal.h>

#include <array>

#include "console.h"

volatile std::sig_atomic_t cancel_requested = 0;

namespace {

// Only records the request; the loops notice it between calls and main cleans up.
void on_cancel_signal(int /*signal_number*/) {
    cancel_requested = 1;
}

// SA_RESETHAND has put back the default action, so the raised copy ends the process as if
// no handler had been set.
void on_ending_signal(int signal_number) {
    console_restore_from_handler();
    raise(signal_number);
}

}  // namespace

// Installs the handlers; sigaction does not fail for these signals, so nothing is reported.
void install_signal_handlers() {
    struct sigaction cancel_action {};
    cancel_action.sa_handler = on_cancel_signal;
    sigemptyset(&cancel_action.sa_mask);
    // No SA_RESTART: a blocking accept, connect, send or recv must return at once.
    cancel_action.sa_flags = 0;
    sigaction(SIGINT, &cancel_action, nullptr);
    sigaction(SIGTERM, &cancel_action, nullptr);

    struct sigaction ignore_action {};
    ignore_action.sa_handler = SIG_IGN;
    sigemptyset(&ignore_action.sa_mask);
    // A dead peer and a full file come back as EPIPE and EFBIG instead of killing us.
    sigaction(SIGPIPE, &ignore_action, nullptr);
    sigaction(SIGXFSZ, &ignore_action, nullptr);

    // A hang-up or a quit still ends the program at once, but must not leave the terminal
    // without echo or line editing. A signal ignored on purpose (nohup) stays ignored.
    struct sigaction ending_action {};
    ending_action.sa_handler = on_ending_signal;
    sigemptyset(&ending_action.sa_mask);
    ending_action.sa_flags = SA_RESETHAND;
    constexpr std::array ending_signals{SIGHUP, SIGQUIT};
    for (const int signal_number : ending_signals) {
        struct sigaction found {};
        sigaction(signal_number, nullptr, &found);
        if (found.sa_handler != SIG_IGN) {
            sigaction(signal_number, &ending_action, nullptr);
        }
    }
}
