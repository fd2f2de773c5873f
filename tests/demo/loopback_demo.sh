#!/usr/bin/env bash
# Moves a 2 GiB file from pitchwire to catchwire over 127.0.0.1, enough for a few seconds
# of transfer and a real rate, and shows the two command lines and what both ends printed.
# The file is sparse (random data at three places, holes between), so it takes 3 MiB
# of disk; catchwire writes into a FIFO that cmp reads, so the copy takes none.
# Usage: loopback_demo.sh PITCHWIRE CATCHWIRE PRINT_FREE_PORT
# Exits 0 only when both programs succeeded, the copy matches and the checksums agree.
set -u

if [ $# -ne 3 ]; then
    echo "usage: $0 pitchwire catchwire print_free_port" >&2
    exit 2
fi
# The demo runs in its own directory, so that the command lines it shows stay short.
pitchwire=$(realpath -e "$1") || exit 2
catchwire=$(realpath -e "$2") || exit 2
print_free_port=$(realpath -e "$3") || exit 2

work=$(mktemp -d "${TMPDIR:-/tmp}/loopback_demo.XXXXXX") || exit 1
sender_pid=
cmp_pid=
cleanup() {
    for pid in $sender_pid $cmp_pid; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "DEMO FAILED: $*"
    exit 1
}

# A program's output as the operator saw it at the end: of each run of progress lines
# (rewritten in place after "\r") the last, without the blanked lines between.
shown() {
    tr '\r' '\n' <"$1" | awk '
        /^(Send|Recv):/ { progress = $0; next }
        /^ +$/ { next }
        { if (progress != "") print progress; progress = ""; print }
        END { if (progress != "") print progress }'
}

cd "$work" || exit 1
gib=1073741824
for offset in 0 $gib $((2 * gib - 1048576)); do
    head -c 1048576 /dev/urandom |
        dd of=sample bs=1M seek=$((offset / 1048576)) conv=notrunc status=none ||
        fail "no sample file"
done
mkfifo copy || fail "no FIFO"
port=$("$print_free_port") || fail "no free port on 127.0.0.1"
sender_command="pitchwire -port=$port sample"
receiver_command="catchwire -port=$port 127.0.0.1 copy"
echo "Moving a 2 GiB file (random data at three places, holes between) over 127.0.0.1;"
echo "catchwire writes into the FIFO copy, which cmp compares with the file as it arrives."
echo
echo "\$ $sender_command"
echo "\$ $receiver_command"

# The time limits keep a broken build from hanging the demo.
timeout 60 cmp sample copy >cmp.out 2>&1 &
cmp_pid=$!
timeout 60 "$pitchwire" "-port=$port" sample </dev/null >sender.out 2>&1 &
sender_pid=$!
# catchwire retries while the sender is not yet listening.
for _ in $(seq 100); do
    grep -q 'Waiting for connection' sender.out && break
    kill -0 "$sender_pid" 2>/dev/null || break
    sleep 0.1
done
timeout 60 "$catchwire" "-port=$port" 127.0.0.1 copy </dev/null >receiver.out 2>&1
receiver_status=$?
wait "$sender_pid"
sender_status=$?
sender_pid=
wait "$cmp_pid"
cmp_status=$?
cmp_pid=

echo
echo "--- pitchwire (exit status $sender_status)"
shown sender.out
echo "--- catchwire (exit status $receiver_status)"
shown receiver.out
echo "--- cmp sample copy (exit status $cmp_status)"
cat cmp.out
echo

[ "$sender_status" -eq 0 ] || fail "pitchwire exited with status $sender_status"
[ "$receiver_status" -eq 0 ] || fail "catchwire exited with status $receiver_status"
[ "$cmp_status" -eq 0 ] || fail "the copy differs from the original"
sent_sum=$(shown sender.out | grep '^TCPIP Data Checksum')
received_sum=$(shown receiver.out | grep '^TCPIP Data Checksum')
if [ -z "$sent_sum" ] || [ "$sent_sum" != "$received_sum" ]; then
    fail "the checksum lines differ"
fi
echo "DEMO PASSED: the copy is identical and both ends show $sent_sum"
