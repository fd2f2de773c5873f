#!/usr/bin/env bash
# A complete small transfer (a file, then a stretch of the counting pattern) with both
# programs under valgrind's memcheck; passes only with zero errors and identical data.
#
#   valgrind_transfer.sh SOURCE_DIR BUILD_DIR
#
# valgrind and AddressSanitizer do not mix, so the two programs are built again here without
# sanitizers, in BUILD_DIR. Exit status 0 = passed, 1 = failed, 77 = valgrind is missing.
set -euo pipefail
# shellcheck source=tests/soak/lib_run.sh
source "$(dirname "$0")/lib_run.sh"

source_dir=$1
build_dir=$2
if ! command -v valgrind >/dev/null; then
    echo "SKIP: valgrind is not installed"
    exit 77
fi

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWIRE_SANITIZE=OFF \
    -DWIRE_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target pitchwire catchwire >/dev/null
pitchwire=$build_dir/sender/pitchwire
catchwire=$build_dir/receiver/catchwire

work=$(mktemp -d)

fail() {
    echo "FAIL: $*"
    for log in "$work"/*.log; do
        echo "--- $log"
        tail -n 30 "$log"
    done
    exit 1
}

memcheck=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
          "--errors-for-leak-kinds=definite,indirect" --track-origins=yes)

# A file transfer: every byte, a normal end at both sides.
head -c 300000 /dev/urandom >"$work/source.img"
port=$(free_port)
"${memcheck[@]}" --log-file="$work/file-sender.log" "$pitchwire" -port="$port" \
    "$work/source.img" >"$work/file-sender.out" 2>&1 &
sender=$!
started+=("$sender")
"${memcheck[@]}" --log-file="$work/file-receiver.log" "$catchwire" -port="$port" 127.0.0.1 \
    "$work/copy.img" >"$work/file-receiver.out" 2>&1 &
receiver=$!
started+=("$receiver")
wait_for "$sender"
[ "$last_status" = 0 ] || fail "file mode: the sender did not end cleanly"
wait_for "$receiver"
[ "$last_status" = 0 ] || fail "file mode: the receiver did not end cleanly"
cmp "$work/source.img" "$work/copy.img" || fail "file mode: the copy differs"

# The counting pattern, ended by an interrupt to the sender.
port=$(free_port)
"${memcheck[@]}" --log-file="$work/pattern-sender.log" "$pitchwire" -port="$port" - \
    >"$work/pattern-sender.out" 2>&1 &
sender=$!
started+=("$sender")
"${memcheck[@]}" --log-file="$work/pattern-receiver.log" "$catchwire" -port="$port" 127.0.0.1 - \
    >"$work/pattern-receiver.out" 2>&1 &
receiver=$!
started+=("$receiver")
for _ in $(seq 300); do
    grep -a -q 'Received a connection' "$work/pattern-receiver.out" && break
    sleep 0.1
done
sleep 1
kill -INT "$sender"
wait_for "$sender"
[ "$last_status" = 1 ] || fail "pattern mode: the interrupted sender did not exit 1"
wait_for "$receiver"
[ "$last_status" = 0 ] || fail "pattern mode: the receiver did not end cleanly"

for log in "$work"/*.log; do
    grep -q 'ERROR SUMMARY: 0 errors' "$log" || fail "memcheck found errors in $(basename "$log")"
done
echo "PASS: memcheck reports no errors"
