#pragma once

// Noticing a peer that has vanished (its machine or the path to it gone) while a live peer
// that is only silent, or not reading, is left alone however long it takes.

// The limit in seconds after which an unanswered peer counts as gone: 90, or for tests
// WIRE_TEST_PEER_TIMEOUT (3 to 3600) from the environment.
int peer_limit_seconds();

// Turns on keepalive probes on socket_fd, paced so that a connection whose peer answers
// nothing fails with ETIMEDOUT after about the limit, and makes a blocked send return now
// and then so that peer_has_vanished can be asked. Returns 0, or -1 with errno set.
int watch_peer(int socket_fd);

// True when the kernel has waited for an acknowledgement from the peer for longer than the
// limit: data in flight, or window probes, unanswered. A peer whose kernel answers (even
// with a closed window) is never taken for gone.
bool peer_has_vanished(int socket_fd);
