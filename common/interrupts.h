#pragma once

#include <csignal>

// Set by SIGINT and SIGTERM. The waiting and transfer loops test it between calls and end
// as the operator's abort does; main then prints "\nAborting connection ... \n".
extern volatile std::sig_atomic_t cancel_requested;

// SIGINT and SIGTERM set cancel_requested (without SA_RESTART, so a blocking call returns
// at once); SIGPIPE and SIGXFSZ are ignored so that failures come back as error codes;
// SIGHUP and SIGQUIT, unless ignored, put the terminal's mode back and end the program.
void install_signal_handlers();
