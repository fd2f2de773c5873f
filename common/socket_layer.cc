#include "socket_layer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "interrupts.h"
#include "peer_watch.h"

namespace {

// Windows Sockets numbers this layer reports.
constexpr int wsa_interrupted = 10004;
constexpr int wsa_invalid_argument = 10022;
constexpr int wsa_address_not_available = 10049;

struct errno_code_pair {
    int error_number;
    int socket_error;
};

// Every errno a socket call can give, with the Windows Sockets number of the same meaning.
// Linux numbers differ from the BSD ones Windows copied, so no arithmetic will do.
constexpr auto errno_to_socket_error = std::to_array<errno_code_pair>({
    {EINTR, 10004},           {EBADF, 10009},        {EACCES, 10013},
    {EPERM, 10013},           {EFAULT, 10014},       {EINVAL, 10022},
    {EMFILE, 10024},          {ENFILE, 10024},       {EAGAIN, 10035},
    {EWOULDBLOCK, 10035},     {EINPROGRESS, 10035},  {EALREADY, 10037},
    {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},        {ENETUNREACH, 10051},  {ENETRESET, 10052},
    {ECONNABORTED, 10053},    {ECONNRESET, 10054},   {EPIPE, 10054},
    {ENOBUFS, 10055},         {ENOMEM, 10055},       {EISCONN, 10056},
    {ENOTCONN, 10057},        {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061}, {ELOOP, 10062},
    {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},       {EUSERS, 10068},       {EDQUOT, 10069},
    {ESTALE, 10070},          {EREMOTE, 10071},
});

int last_error = 0;

// Records code as the last socket error and returns -1, the failing result of every call.
int fail_with(int code) {
    last_error = code;
    return -1;
}

// Records the Windows number for error_number and returns -1.
int fail_with_errno(int error_number) {
    return fail_with(socket_error_for_errno(error_number));
}

// accept(2) hands out errors that belong to the new connection, not the listener; the
// caller's accept loop is meant to simply try again.
bool is_pending_connection_error(int error_number) {
    switch (error_number) {
        case ENETDOWN:
        case EPROTO:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
        case ECONNABORTED:
            return true;
        default:
            return false;
    }
}

// Waits for a connect that a signal interrupted to finish. Returns 0 once connected, or
// -1 with the error recorded (10004 when the operator asked to stop meanwhile).
int finish_interrupted_connect(int socket_fd) {
    pollfd waiting{socket_fd, POLLOUT, 0};
    for (;;) {
        if (cancel_requested != 0) {
            return fail_with(wsa_interrupted);
        }
        const int ready = poll(&waiting, 1, -1);
        if (ready > 0) {
            break;
        }
        if (ready < 0 && errno != EINTR) {
            return fail_with_errno(errno);
        }
    }
    int connect_error = 0;
    socklen_t error_length = sizeof connect_error;
    if (getsockopt(socket_fd, SOL_SOCKET, SO_ERROR, &connect_error, &error_length) < 0) {
        return fail_with_errno(errno);
    }
    if (connect_error != 0) {
        return fail_with_errno(connect_error);
    }
    return 0;
}

// Makes transfer_call (a send or receive returning a count or -1) again after a signal,
// unless the operator asked to stop. Returns its count, or -1 with the code recorded.
template <typename call>
int retry_unless_cancelled(call transfer_call) {
    for (;;) {
        const auto result = transfer_call();
        if (result >= 0) {
            return static_cast<int>(result);
        }
        if (errno != EINTR) {
            return fail_with_errno(errno);
        }
        if (cancel_requested != 0) {
            return fail_with(wsa_interrupted);
        }
    }
}

// Makes send_call (a send of socket_fd returning a count or -1) again after a signal, unless
// the operator asked to stop, and after the send timeout of a watched blocking socket, unless
// the peer has vanished meanwhile (10060). Returns its count, or -1 with the code recorded.
template <typename call>
int send_unless_cancelled(int socket_fd, call send_call) {
    for (;;) {
        const auto result = send_call();
        if (result >= 0) {
            return static_cast<int>(result);
        }
        const int error_number = errno;
        const bool timed_out = (error_number == EAGAIN || error_number == EWOULDBLOCK) &&
                               (fcntl(socket_fd, F_GETFL) & O_NONBLOCK) == 0;
        if (error_number != EINTR && !timed_out) {
            return fail_with_errno(error_number);
        }
        if (cancel_requested != 0) {
            return fail_with(wsa_interrupted);
        }
        if (timed_out && peer_has_vanished(socket_fd)) {
            return fail_with_errno(ETIMEDOUT);
        }
    }
}

}  // namespace

// The code of the last failing call of this layer; 0 before any failure.
int last_socket_error() {
    return last_error;
}

// The Windows Sockets number for error_number; an errno without a counterpart gives
// -error_number, which no Windows number can equal.
int socket_error_for_errno(int error_number) {
    for (const errno_code_pair& pair : errno_to_socket_error) {
        if (pair.error_number == error_number) {
            return pair.socket_error;
        }
    }
    return -error_number;
}

// A new TCP socket, or -1 when the system refuses one.
int tcp_socket() {
    const int socket_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (socket_fd < 0) {
        return fail_with_errno(errno);
    }
    return socket_fd;
}

// Binds socket_fd to address. Returns 0, or -1 when the address is in use or not ours.
int socket_bind(int socket_fd, const sockaddr_in& address) {
    // The sender closes first, so its last port waits in TIME_WAIT for a minute; reuse lets
    // the next run bind at once while a second live listener is still refused.
    const int reuse = 1;
    if (setsockopt(socket_fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) < 0) {
        return fail_with_errno(errno);
    }
    if (bind(socket_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        return fail_with_errno(errno);
    }
    return 0;
}

// Returns 0 once socket_fd listens, or -1.
int socket_listen(int socket_fd, int backlog) {
    if (listen(socket_fd, backlog) < 0) {
        return fail_with_errno(errno);
    }
    return 0;
}

// The accepted socket, or -1: 10035 when nobody is waiting or the new connection failed
// before it was handed out, 10004 when the operator asked to stop.
int socket_accept(int socket_fd, sockaddr_in* peer) {
    for (;;) {
        socklen_t peer_length = sizeof(sockaddr_in);
        const int accepted_fd = accept(socket_fd, reinterpret_cast<sockaddr*>(peer),
                                       peer == nullptr ? nullptr : &peer_length);
        if (accepted_fd >= 0) {
            return accepted_fd;
        }
        const int error_number = errno;
        if (error_number == EINTR) {
            if (cancel_requested != 0) {
                return fail_with(wsa_interrupted);
            }
            continue;
        }
        if (is_pending_connection_error(error_number)) {
            return fail_with(wsa_would_block);
        }
        return fail_with_errno(error_number);
    }
}

// Connects socket_fd to address. Returns 0, or -1: 10049 for port 0 (which Linux would
// refuse as if nobody listened, and the receiver would retry for ever), 10004 when the
// operator asked to stop.
int socket_connect(int socket_fd, const sockaddr_in& address) {
    if (address.sin_port == 0) {
        return fail_with(wsa_address_not_available);
    }
    if (connect(socket_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return 0;
    }
    const int error_number = errno;
    if (error_number != EINTR) {
        return fail_with_errno(error_number);
    }
    // The kernel goes on connecting after the signal; wait for its outcome.
    return finish_interrupted_connect(socket_fd);
}

// Sets socket_fd non-blocking (mode 1) or blocking (mode 0). Returns 0, or -1.
int socket_set_mode(int socket_fd, unsigned int mode) {
    int non_blocking = mode != 0 ? 1 : 0;
    if (ioctl(socket_fd, FIONBIO, &non_blocking) < 0) {
        return fail_with_errno(errno);
    }
    return 0;
}

// The wait goes first: a low mark without it could hold a short tail back for good.
int socket_gather_receives(int socket_fd, int low_mark, int wait_ms) {
    constexpr int milliseconds_per_second = 1000;
    constexpr suseconds_t microseconds_per_millisecond = 1000;
    const timeval wait{
        wait_ms / milliseconds_per_second,
        static_cast<suseconds_t>(wait_ms % milliseconds_per_second) * microseconds_per_millisecond};
    if (setsockopt(socket_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) < 0) {
        return fail_with_errno(errno);
    }
    if (setsockopt(socket_fd, SOL_SOCKET, SO_RCVLOWAT, &low_mark, sizeof low_mark) < 0) {
        return fail_with_errno(errno);
    }
    return 0;
}

// The count of bytes sent, or -1: 10054 when the peer has gone (never SIGPIPE), 10060 when
// a watched peer stopped answering, 10035 in non-blocking mode when nothing fits, 10004 when
// the operator asked to stop.
int socket_send(int socket_fd, const void* data, int length) {
    if (length < 0) {
        return fail_with(wsa_invalid_argument);
    }
    return send_unless_cancelled(socket_fd, [&] {
        return send(socket_fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    });
}

// The count of messages the kernel took, or -1 as socket_send fails. A signal or a closing
// peer can stop the kernel after a short message: the caller finishes that one first.
int socket_send_batch(int socket_fd, mmsghdr* messages, unsigned int count) {
    // No MSG_MORE: the kernel merges queued sends anyway, and the flag can stall the stream.
    return send_unless_cancelled(
        socket_fd, [&] { return sendmmsg(socket_fd, messages, count, MSG_NOSIGNAL); });
}

// The count of bytes received (0 once the peer has closed), or -1: 10054 after a reset,
// 10035 when nothing came (in non-blocking mode, or once a gathering wait set by
// socket_gather_receives passed), 10004 when the operator asked to stop.
int socket_recv(int socket_fd, void* buffer, int length) {
    if (length < 0) {
        return fail_with(wsa_invalid_argument);
    }
    return retry_unless_cancelled(
        [&] { return recv(socket_fd, buffer, static_cast<std::size_t>(length), 0); });
}

// A reset rather than the orderly end: whatever is still queued is dropped, and the peer's
// next receive fails instead of seeing the end of the stream.
int socket_reset_on_close(int socket_fd) {
    const linger at_once{1, 0};
    if (setsockopt(socket_fd, SOL_SOCKET, SO_LINGER, &at_once, sizeof at_once) < 0) {
        return fail_with_errno(errno);
    }
    return 0;
}

int socket_watch_peer(int socket_fd) {
    if (watch_peer(socket_fd) < 0) {
        return fail_with_errno(errno);
    }
    return 0;
}

// Closes socket_fd. Returns 0, or -1 when it was not open; the descriptor is released
// either way, so the call is never repeated.
int socket_close(int socket_fd) {
    if (close(socket_fd) < 0) {
        return fail_with_errno(errno);
    }
    return 0;
}
