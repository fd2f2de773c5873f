#!/usr/bin/env bash
# Builds the parsers' libFuzzer target for one program with clang and runs it for a while.
#   run_fuzzer.sh sender|receiver BUILD_DIR SECONDS
# Exit status: 0 when it found no fault, 1 when it did (the input is kept in BUILD_DIR), 77
# when clang or its libFuzzer is missing. The default test run leaves it out (label slow);
# run it with ctest --test-dir build/test -L fuzz, or search longer, keeping the corpus in
# BUILD_DIR for the next run:
#   tests/fuzz/run_fuzzer.sh receiver /tmp/wire-fuzz 3600
set -u
shopt -s extglob
side=$1 root=$(cd "$(dirname "$0")/../.." && pwd)
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    clang++ -x c++ -fsanitize=fuzzer -o /dev/null - 2>/dev/null ||
    { echo "clang++ with libFuzzer is not installed: skipped"; exit 77; }
mkdir -p "$2/corpus_$side" && cd "$2" || exit 1
clang++ -std=c++20 -g -O1 -Wall -Wextra -Wpedantic -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=all -D_FILE_OFFSET_BITS=64 -DWIRE_PROJECT_HOME='"fuzzing"' \
    "-DFUZZ_${side^^}" "-I$root/common" "-I$root/$side" -o "fuzz_$side" \
    "$root/tests/fuzz/parsers_fuzzer.cc" "$root"/common/*.cc "$root/$side"/!(main).cc -lcrypto ||
    exit 1
# The parsers print their messages: standard output is closed. A fault is status 1 here, not
# libFuzzer's 77, which would count as skipped.
"./fuzz_$side" -max_total_time="$3" -close_fd_mask=1 -max_len=4096 -timeout=10 \
    -rss_limit_mb=1024 -print_final_stats=1 "corpus_$side" || exit 1
