#!/usr/bin/env bash
# Builds the parsers' libFuzzer target with clang in BUILD_DIR and runs it for SECONDS.
# Exit status: 0 when it found no fault, 1 when it did (the input is kept in BUILD_DIR),
# 77 when clang is missing. The build takes a minute, so the default test run leaves it
# out; run it with ctest --test-dir build/test -L fuzz, or search longer, keeping the
# corpus in BUILD_DIR/corpus for the next run:
#   tests/fuzz/run_fuzzer.sh /tmp/wire-fuzz 3600
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1
seconds=$2
command -v clang++ >/dev/null || { echo "clang++ is not installed: skipped"; exit 77; }
mkdir -p "$build/corpus"
flags=(-std=c++20 -g -O1 -Wall -Wextra -Wpedantic -fno-omit-frame-pointer -D_FILE_OFFSET_BITS=64
       -DWIRE_PROJECT_HOME='"fuzzing"' -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=all "-I$root/common" "-I$here")
for part in common sender receiver; do
    (sources=$(ls "$root/$part"/*.cc | grep -v /main.cc)
     [ $part = common ] || sources+=" $here/${part}_side.cc"
     mkdir -p "$build/$part" && cd "$build/$part" && rm -f ./*.o
     # shellcheck disable=SC2086
     clang++ "${flags[@]}" "-I$root/$part" -c $sources) &
done
for _ in 1 2 3; do wait -n; done
cd "$build"
# The sender and the receiver define the same names: each side is linked with its own copy
# of the common code and hides its names, but for its entry point, the weak names of inline
# code, and the common code of the sender side, which the target itself calls.
for side in sender receiver; do
    ld -r -o $side.o $side/*.o common/*.o
    own=($side.o)
    [ $side = receiver ] || own=($side/*.o)
    nm -g --defined-only "${own[@]}" |
        awk -v keep=fuzz_$side '$2 ~ /^[BDRT]$/ && $3 != keep { print $3 }' >$side.names
    objcopy --localize-symbols=$side.names $side.o
done
clang++ "${flags[@]}" -fsanitize=fuzzer -o parsers_fuzzer "$here/parsers_fuzzer.cc" sender.o \
    receiver.o -lcrypto
# The parsers print their messages: standard output is closed.
status=0
./parsers_fuzzer -max_total_time="$seconds" -close_fd_mask=1 \
    -max_len=4096 -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 corpus >fuzz.log 2>&1 ||
    status=1
tail -n 12 fuzz.log
exit $status
