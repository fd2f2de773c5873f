#include "interrupts.h"

#include <signal.h>

volatile std::sig_atomic_t cancel_requested = 0;

namespace {

// Only records the request; the loops notice it between calls and main cleans up.
void on_cancel_signal(int /*signal_number*/) {
    cancel_requested = 1;
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
}
