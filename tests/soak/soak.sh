#!/usr/bin/env bash
# Long runs over loopback: GIB gibibytes (20 unless told) of the counting pattern, then of a
# sparse file cut into 4 GiB pieces. Checks counts beyond 32 bits, both ends' checksums
# against each other and against the pattern's, and the pieces byte for byte.
#
#   soak.sh PITCHWIRE CATCHWIRE WORK_DIR [GIB]
#
# Exit status 0 = passed, 1 = failed, 77 = skipped (not enough free disk for the copy).
# Run it on optimised programs: cmake --preset release && cmake --build --preset release &&
#   ctest --test-dir build/release -L soak --output-on-failure
set -euo pipefail
# shellcheck source=tests/soak/lib_run.sh
source "$(dirname "$0")/lib_run.sh"
# shellcheck source=bench/lib_checks.sh
source "$(dirname "$0")/../../bench/lib_checks.sh"

pitchwire=$1
catchwire=$2
work_root=$3
gib=${4:-20}
bytes=$((gib << 30))

mkdir -p "$work_root"
work=$(mktemp -d "$work_root/soak.XXXXXX")

fail() {
    echo "FAIL: $*"
    exit 1
}

# Reads the summary (verb "sent" or "received") in a program's output into summary_count
# and summary_checksum, or fails the run.
summary_of() {
    read_summary "$2" "$1" || fail "no \"Successfully $1\" summary in $2"
}

echo "== counting pattern, ${gib} GiB"
port=$(free_port)
"$pitchwire" -port="$port" - >"$work/pattern-sender.out" 2>"$work/pattern-sender.err" &
sender=$!
started+=("$sender")
"$catchwire" -port="$port" 127.0.0.1 - >"$work/pattern-receiver.out" 2>&1 &
receiver=$!
started+=("$receiver")
while :; do
    kill -0 "$receiver" 2>/dev/null || fail "the receiver ended early: $(cat "$work/pattern-receiver.out")"
    so_far=$(tr '\r' '\n' <"$work/pattern-receiver.out" | grep -a -o 'Received: [0-9,]*' |
        tail -n 1 | sed 's/.* //; s/,//g' || true)
    [ "${so_far:-0}" -ge "$bytes" ] && break
    sleep 2
done
kill -INT "$sender"
wait_for "$sender"
sender_status=$last_status
wait_for "$receiver"
receiver_status=$last_status
[ "$sender_status" = 1 ] || fail "the interrupted sender exited $sender_status"
[ "$receiver_status" = 0 ] || fail "the receiver exited $receiver_status"
summary_of sent "$work/pattern-sender.out"
sent=$summary_count sent_checksum=$summary_checksum
summary_of received "$work/pattern-receiver.out"
received=$summary_count received_checksum=$summary_checksum
echo "sent $sent, received $received"
[ "$sent" = "$received" ] || fail "the counts differ"
[ "$sent" -gt $((1 << 32)) ] || fail "the count $sent is not beyond 32 bits"
expected=$(pattern_checksum "$sent")
[ "$sent_checksum" = "$expected" ] || fail "sender checksum, expected $expected"
[ "$received_checksum" = "$expected" ] || fail "receiver checksum, expected $expected"

echo "== sparse file, ${gib} GiB in 4 GiB pieces"
free_kib=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt $(((gib + 1) << 20)) ]; then
    echo "SKIP: the copy needs $((gib + 1)) GiB of free disk in $work_root"
    exit 77
fi
source_file=$work/source.img
truncate -s "$bytes" "$source_file"
# Data around the 2 GiB and 4 GiB marks, in the middle and at the very end.
for offset_mib in 0 2047 4095 $(((gib << 10) / 2)) $(((gib << 10) - 1)); do
    head -c $((1 << 20)) /dev/urandom |
        dd of="$source_file" bs=1M seek="$offset_mib" conv=notrunc status=none
done
mkdir "$work/pieces"
port=$(free_port)
"$pitchwire" -port="$port" "$source_file" >"$work/file-sender.out" 2>&1 &
sender=$!
started+=("$sender")
(cd "$work/pieces" && exec "$catchwire" -port="$port" -autosize=4096 -autoname 127.0.0.1 IMAGE) \
    >"$work/file-receiver.out" 2>&1 &
receiver=$!
started+=("$receiver")
wait_for "$sender"
sender_status=$last_status
wait_for "$receiver"
receiver_status=$last_status
[ "$sender_status" = 0 ] || fail "the sender exited $sender_status: $(tail -c 500 "$work/file-sender.out")"
[ "$receiver_status" = 0 ] || fail "the receiver exited $receiver_status: $(tail -c 500 "$work/file-receiver.out")"
summary_of sent "$work/file-sender.out"
sent=$summary_count sent_checksum=$summary_checksum
summary_of received "$work/file-receiver.out"
received=$summary_count received_checksum=$summary_checksum
echo "sent $sent, received $received"
if [ "$sent" != "$bytes" ] || [ "$received" != "$bytes" ]; then
    fail "the counts are not $bytes"
fi
[ "$sent_checksum" = "$received_checksum" ] || fail "the checksums differ"
pieces=("$work"/pieces/IMAGE.*)
for piece in "${pieces[@]:0:${#pieces[@]}-1}"; do
    [ "$(stat -c %s "$piece")" = $((4 << 30)) ] || fail "$piece is not 4 GiB"
done
cat "$work"/pieces/IMAGE.* | cmp - "$source_file" || fail "the pieces differ from the source"
echo "PASS"
