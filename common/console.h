#pragma once

// Keyboard control through the controlling terminal, never standard input.

// Opens the terminal and puts it in polling mode; registers close_console with atexit.
// Without a terminal the program runs on: key_pending is then always false.
void open_console();
// Puts the saved terminal mode back and closes the terminal.
void close_console();
// The terminal's descriptor for poll(), or -1 when there is none, it has hung up, or
// another job owns it (poll would then report input that key_pending never takes).
int console_input_fd();
// Puts the terminal's saved (normal) mode back for a line read from standard input, which
// in polling mode would never see its line end.
void console_normal_mode();
// The same from a signal handler that is about to end the process.
void console_restore_from_handler();
// Sets the polling mode again after such a read.
void console_polling_mode();

// True when read_key would return at once. Consumes nothing.
bool key_pending();
// The next key code (PC convention: 0 then an extended code for keys without a character),
// or -1 when the terminal cannot be read.
int read_key();
// Asks "Abort [N]: " when a key is waiting. Returns 1 when the operator answered Y.
int ask_abort();
// Blanks the status line: "\r", 79 blanks, "\r", flushed.
void clear_status_line();
