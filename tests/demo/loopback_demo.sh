#!/usr/bin/env bash
# Moves a few MiB of random bytes from pitchwire to catchwire over 127.0.0.1, shows both
# ends' summaries and checks that the copy is identical.
# Usage: loopback_demo.sh PITCHWIRE CATCHWIRE PRINT_FREE_PORT
# Exits 0 only when both programs succeeded, the copy matches and the checksums agree.
set -u

if [ $# -ne 3 ]; then
    echo "usage: $0 pitchwire catchwire print_free_port" >&2
    exit 2
fi
pitchwire=$1
catchwire=$2
print_free_port=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/loopback_demo.XXXXXX") || exit 1
sender_pid=
cleanup() {
    if [ -n "$sender_pid" ]; then
        kill "$sender_pid" 2>/dev/null
        wait "$sender_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "DEMO FAILED: $*"
    exit 1
}

# The programs' last lines, with the in-place status lines turned into separate lines.
summary() {
    tr '\r' '\n' < "$1" | grep -E '^(Successfully|TCPIP Data Checksum|Error|Notice)'
}

head -c $((4 * 1048576 + 4321)) /dev/urandom > "$work/original" || fail "no test file"
port=$("$print_free_port") || fail "no free port on 127.0.0.1"
echo "Sending $(wc -c < "$work/original") random bytes over 127.0.0.1 port $port"

"$pitchwire" "-port=$port" "$work/original" < /dev/null > "$work/sender.out" 2>&1 &
sender_pid=$!

# catchwire retries while the sender is not yet listening; the time limits keep a broken
# build from hanging the demo.
for _ in $(seq 100); do
    grep -q 'Waiting for connection' "$work/sender.out" && break
    kill -0 "$sender_pid" 2>/dev/null || break
    sleep 0.1
done
timeout 60 "$catchwire" "-port=$port" 127.0.0.1 "$work/copy" < /dev/null \
    > "$work/receiver.out" 2>&1
receiver_status=$?
for _ in $(seq 100); do
    kill -0 "$sender_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$sender_pid" 2>/dev/null && fail "pitchwire did not end after the transfer"
wait "$sender_pid"
sender_status=$?
sender_pid=

echo
echo "--- pitchwire (exit status $sender_status)"
summary "$work/sender.out"
echo "--- catchwire (exit status $receiver_status)"
summary "$work/receiver.out"
echo

[ "$sender_status" -eq 0 ] || fail "pitchwire exited with status $sender_status"
[ "$receiver_status" -eq 0 ] || fail "catchwire exited with status $receiver_status"
cmp "$work/original" "$work/copy" || fail "the copy differs from the original"
sent_sum=$(summary "$work/sender.out" | grep '^TCPIP Data Checksum')
received_sum=$(summary "$work/receiver.out" | grep '^TCPIP Data Checksum')
if [ -z "$sent_sum" ] || [ "$sent_sum" != "$received_sum" ]; then
    fail "the checksum lines differ"
fi
echo "DEMO PASSED: the copy is identical and both ends show $sent_sum"
