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

# The count printed after "Successfully sent " or "Successfully received ", without commas.
count_in() {
    grep -a -o "Successfully $1 [0-9,]*" "$2" | tail -n 1 | sed 's/.* //; s/,//g'
}

checksum_in() {
    grep -a -o 'TCPIP Data Checksum: [0-9a-f]*' "$1" | tail -n 1 | sed 's/.* //'
}

# The checksum of the first n bytes of the counting pattern (little-endian 32-bit values
# 0, 1, 2, ... wrapping at 2^32), summed byte position by byte position.
pattern_checksum() {
    local values=$(($1 / 4)) rest=$(($1 % 4)) sum=0 position
    for position in 0 1 2 3; do
        local shift=$((8 * position))
        local period=$((1 << (shift + 8)))
        local cycles=$((values / period)) left=$((values % period))
        local high=$((left >> shift)) low=$((left & ((1 << shift) - 1)))
        # Each full period holds every byte value 2^shift times: 2^shift * (0 + ... + 255).
        sum=$((sum + cycles * (1 << shift) * 32640))
        sum=$((sum + (1 << shift) * high * (high - 1) / 2 + high * low))
    done
    for ((position = 0; position < rest; position++)); do
        sum=$((sum + ((values >> (8 * position)) & 255)))
    done
    printf '%x' $((sum & 0xffffffff))
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
sent=$(count_in sent "$work/pattern-sender.out")
received=$(count_in received "$work/pattern-receiver.out")
echo "sent $sent, received $received"
[ "$sent" = "$received" ] || fail "the counts differ"
[ "$sent" -gt $((1 << 32)) ] || fail "the count $sent is not beyond 32 bits"
expected=$(pattern_checksum "$sent")
[ "$(checksum_in "$work/pattern-sender.out")" = "$expected" ] || fail "sender checksum, expected $expected"
[ "$(checksum_in "$work/pattern-receiver.out")" = "$expected" ] || fail "receiver checksum, expected $expected"

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
sent=$(count_in sent "$work/file-sender.out")
received=$(count_in received "$work/file-receiver.out")
echo "sent $sent, received $received"
if [ "$sent" != "$bytes" ] || [ "$received" != "$bytes" ]; then
    fail "the counts are not $bytes"
fi
[ "$(checksum_in "$work/file-sender.out")" = "$(checksum_in "$work/file-receiver.out")" ] ||
    fail "the checksums differ"
pieces=("$work"/pieces/IMAGE.*)
for piece in "${pieces[@]:0:${#pieces[@]}-1}"; do
    [ "$(stat -c %s "$piece")" = $((4 << 30)) ] || fail "$piece is not 4 GiB"
done
cat "$work"/pieces/IMAGE.* | cmp - "$source_file" || fail "the pieces differ from the source"
echo "PASS"
