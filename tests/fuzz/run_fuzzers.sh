#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build directory of their own, then runs each
# for a while. Exit status: 0 when no target found a fault, 77 when clang is missing.
#
#   run_fuzzers.sh BUILD_DIR SECONDS [TARGET...]
#
# The test suite runs every target for 5 seconds. A longer search, e.g. an hour for the key
# decoder, keeps its corpus in BUILD_DIR/corpus for the next run:
#   tests/fuzz/run_fuzzers.sh /tmp/wire-fuzz 3600 key_decoder_fuzzer
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build_dir=$1
seconds=$2
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(key_decoder_fuzzer piece_naming_fuzzer port_option_fuzzer
             receiver_options_fuzzer sender_options_fuzzer)
fi

compiler=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$compiler" ]; then
    echo "clang++ is not installed: the fuzz targets cannot be built"
    exit 77
fi

cmake -S "$here/targets" -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j2 --target "${targets[@]}"

status=0
for target in "${targets[@]}"; do
    dictionary=$here/options.dict
    [ "$target" = key_decoder_fuzzer ] && dictionary=$here/keys.dict
    corpus=$build_dir/corpus/$target
    mkdir -p "$corpus"
    echo "== $target for ${seconds}s"
    # Standard output is closed (the parsers print their messages); crashes are kept in
    # the build directory, with the input that caused them.
    if ! (cd "$build_dir" && "./$target" -max_total_time="$seconds" -close_fd_mask=1 \
            -dict="$dictionary" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
            -print_final_stats=1 "$corpus" 2>&1 | tail -n 12); then
        status=1
    fi
done
exit $status
