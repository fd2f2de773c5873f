#pragma once

// Listens on tcp_port and waits for one receiver, polling the keyboard. Returns 0 with
// data_socket connected in blocking mode and listen_socket closed; returns 1 after a failure
// (message printed), the operator's abort or an interrupt, leaving open sockets for main.
int wait_for_receiver();

// Switches socket_fd to non-blocking (mode 1) or blocking (mode 0). Returns 0, or 1 after
// printing the socket error.
int set_nonblocking(int socket_fd, unsigned int mode);
