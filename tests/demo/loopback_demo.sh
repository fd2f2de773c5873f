#!/usr/bin/env bash
# Moves a 2 GiB file from pitchwire to catchwire over 127.0.0.1, enough for a real rate,
# and shows both command lines and what both ends printed. The file is sparse (random data
# at three places, holes between), so it takes 3 MiB of disk; catchwire writes into a FIFO
# that cmp reads, so the copy takes none. Passes only when both programs exit 0, the copy
# matches and the checksums agree.
#   loopback_demo.sh PITCHWIRE CATCHWIRE
set -u
pitchwire=$(realpath -e "$1") && catchwire=$(realpath -e "$2") || exit 2
# shellcheck source=bench/lib_jobs.sh
source "$(dirname "$0")/../../bench/lib_jobs.sh"
work=$(mktemp -d) || exit 1
sender_pid="" cmp_pid=""
trap 'kill $sender_pid $cmp_pid 2>/dev/null; rm -rf "$work"' EXIT
fail() {
    echo "DEMO FAILED: $*"
    exit 1
}
# A program's output as the operator saw it at the end: of each run of progress lines
# (rewritten in place after "\r") the last, without the blanked lines between.
shown() {
    tr '\r' '\n' <"$1" | awk '/^(Send|Recv):/ { progress = $0; next } /^ +$/ { next }
        { if (progress != "") print progress; progress = ""; print }
        END { if (progress != "") print progress }'
}

# The demo runs in its own folder, so that the command lines it shows stay short.
cd "$work" || exit 1
for offset_mib in 0 1024 2047; do
    head -c 1M /dev/urandom | dd of=sample bs=1M seek=$offset_mib conv=notrunc status=none ||
        fail "no sample file"
done
mkfifo copy && pick_port port || fail "no FIFO or no free port"
echo "Moving a 2 GiB file (random data at three places, holes between) over 127.0.0.1;"
echo "catchwire writes into the FIFO copy, which cmp compares with the file as it arrives."
echo
echo "\$ pitchwire -port=$port sample"
echo "\$ catchwire -port=$port 127.0.0.1 copy"
# The time limits keep a broken build from hanging the demo.
timeout 60 cmp sample copy >cmp.out 2>&1 &
cmp_pid=$!
timeout 60 "$pitchwire" "-port=$port" sample </dev/null >sender.out 2>&1 &
sender_pid=$!
for _ in $(seq 100); do
    grep -q 'Waiting for connection' sender.out && break
    sleep 0.1
done
timeout 60 "$catchwire" "-port=$port" 127.0.0.1 copy </dev/null >receiver.out 2>&1
receiver_status=$?
wait $sender_pid
sender_status=$? sender_pid=""
wait $cmp_pid
cmp_status=$? cmp_pid=""
echo
echo "--- pitchwire (exit status $sender_status)"
shown sender.out
echo "--- catchwire (exit status $receiver_status)"
shown receiver.out
echo "--- cmp sample copy (exit status $cmp_status)"
cat cmp.out
echo
[ $sender_status = 0 ] || fail "pitchwire exited with status $sender_status"
[ $receiver_status = 0 ] || fail "catchwire exited with status $receiver_status"
[ $cmp_status = 0 ] || fail "the copy differs from the original"
sum=$(shown sender.out | grep '^TCPIP Data Checksum')
[ -n "$sum" ] && [ "$sum" = "$(shown receiver.out | grep '^TCPIP Data Checksum')" ] ||
    fail "the checksum lines differ"
echo "DEMO PASSED: the copy is identical and both ends show $sum"
