#!/usr/bin/env bash
# Builds the parsers' libFuzzer target with clang in BUILD_DIR, once per program, and runs
# both side by side for SECONDS. Exit status: 0 when they found no fault, 1 when one did (the
# input is kept in BUILD_DIR), 77 when clang or its libFuzzer is missing. The default test run
# leaves it out (label slow); run it with ctest --test-dir build/test -L fuzz, or search
# longer, keeping the corpora in BUILD_DIR for the next run:
#   tests/fuzz/run_fuzzer.sh /tmp/wire-fuzz 3600
set -uo pipefail
shopt -s extglob
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    clang++ -x c++ -fsanitize=fuzzer -o /dev/null - 2>/dev/null ||
    { echo "clang++ with libFuzzer is not installed: skipped"; exit 77; }
mkdir -p "$1"/corpus_{sender,receiver} && cd "$1" || exit 1
for side in sender receiver; do
    # The parsers print their messages: standard output is closed.
    (clang++ -std=c++20 -g -O1 -Wall -Wextra -Wpedantic -fsanitize=fuzzer,address,undefined \
        -fno-sanitize-recover=all -D_FILE_OFFSET_BITS=64 -DWIRE_PROJECT_HOME='"fuzzing"' \
        "-DFUZZ_${side^^}" "-I$root/common" "-I$root/$side" -o "fuzz_$side" \
        "$here/parsers_fuzzer.cc" "$root"/common/*.cc "$root/$side"/!(main).cc -lcrypto &&
        "./fuzz_$side" -max_total_time="$2" -close_fd_mask=1 -max_len=4096 -timeout=10 \
            -rss_limit_mb=1024 -print_final_stats=1 "corpus_$side" >"fuzz_$side.log" 2>&1) &
done
status=0
wait -n || status=1
wait -n || status=1
tail -n 12 fuzz_*.log
exit $status
