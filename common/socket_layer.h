#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

// A thin socket layer over POSIX sockets that reports errors with the Windows Sockets
// numbers (10035, 10048, 10054, ...), which the programs' messages are built on.
// Every call that fails returns -1 and records the code that last_socket_error() gives.

constexpr int invalid_socket = -1;
// The code of a call that found nothing to do yet: no connection waiting, no room, no data.
constexpr int wsa_would_block = 10035;

// Windows Sockets code for the most recent failing call of this layer.
int last_socket_error();
// The Windows Sockets code for a POSIX errno value; never 10000 + errno.
int socket_error_for_errno(int error_number);

int tcp_socket();
int socket_bind(int socket_fd, const sockaddr_in& address);
int socket_listen(int socket_fd, int backlog);
// Returns the new socket, or -1. The peer's address is stored in *peer.
int socket_accept(int socket_fd, sockaddr_in* peer);
int socket_connect(int socket_fd, const sockaddr_in& address);
// mode 1 = non-blocking, 0 = blocking.
int socket_set_mode(int socket_fd, unsigned int mode);
// Lets a blocking recv on socket_fd gather: it returns once low_mark bytes (or all it asked
// for, if fewer) have come, the stream ends or fails, a signal arrives, or wait_ms passed.
// After that wait it returns what came, or fails with 10035 when nothing came. Returns 0,
// or -1; a receive then still returns as soon as anything has come.
int socket_gather_receives(int socket_fd, int low_mark, int wait_ms);
// send and recv: a call interrupted by a signal is retried unless cancel_requested is set,
// in which case it fails with 10004. send never raises SIGPIPE.
int socket_send(int socket_fd, const void* data, int length);
int socket_recv(int socket_fd, void* buffer, int length);
// Hands count messages to the kernel in one call; each message's msg_len tells how many of
// its bytes went, as a separate send's result would. Returns how many messages the kernel
// reported (the last of them may be short), or -1 with the code recorded as for send: only
// when nothing at all went.
int socket_send_batch(int socket_fd, mmsghdr* messages, unsigned int count);
// Makes the next close of socket_fd end the connection with a reset. Returns 0, or -1.
int socket_reset_on_close(int socket_fd);
// Keepalive on socket_fd, and sends that fail with 10060 once the peer has stopped answering
// for the limit of peer_watch.h (a live peer with a closed window is waited for). Returns 0,
// or -1.
int socket_watch_peer(int socket_fd);
int socket_close(int socket_fd);
