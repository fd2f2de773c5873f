#!/usr/bin/env bash
# The throughput benchmark's own arithmetic and parsing, against answers worked out
# another way. Argument: the bench folder.

# shellcheck source-path=SCRIPTDIR/../../bench
set -u -o pipefail
bench_dir=$1
source "$bench_dir/lib_checks.sh"
source "$bench_dir/lib_report.sh"

failures=0
expect_equal() {
    if [[ $2 != "$3" ]]; then
        echo "FAIL: $1: got '$2', expected '$3'"
        failures=$((failures + 1))
    fi
}

# Sum of the first N bytes of the counting pattern, one byte at a time.
brute_pattern_checksum() {
    awk -v n="$1" 'BEGIN {
        for (i = 0; i < n; i++) { v = int(i / 4); for (b = i % 4; b > 0; b--) v = int(v / 256); s += v % 256 }
        printf "%x\n", s % 4294967296 }'
}

test_pattern_checksum_small_counts() {
    local n
    for n in 0 1 3 4 5 7 8 1023 1024 4096 16387 1048576 1048583; do
        expect_equal "pattern_checksum $n" "$(pattern_checksum "$n")" "$(brute_pattern_checksum "$n")"
    done
}

# Past 2^24 values the top byte counts as well: each extra byte must add exactly the
# pattern's byte at that position.
test_pattern_checksum_steps_past_the_top_byte() {
    local n previous current byte
    previous=$(pattern_checksum $((4 * 16777216 - 6)))
    for ((n = 4 * 16777216 - 6; n < 4 * 16777216 + 9; n++)); do
        current=$(pattern_checksum $((n + 1)))
        byte=$((((n / 4) >> (8 * (n % 4))) & 255))
        expect_equal "pattern step at $n" "$current" "$(printf '%x' $(((0x$previous + byte) & 0xffffffff)))"
        previous=$current
    done
    # A whole cycle of 2^32 values sums to 4 * 2^24 * 32640, which wraps to 0.
    expect_equal "pattern after 2^32 values" "$(pattern_checksum $((4 * 4294967296 + 8)))" \
        "$(pattern_checksum 8)"
}

test_repeated_chunk_checksum_matches_the_whole_file() {
    local dir chunk file size total i
    dir=$(mktemp -d)
    chunk=$dir/chunk
    file=$dir/file
    head -c 1009 /dev/urandom >"$chunk"
    for size in 1009 3000 5045; do
        { for ((i = 0; i < size / 1009; i++)); do cat "$chunk"; done
          head -c $((size % 1009)) "$chunk"; } >"$file"
        read -r total _ <<<"$(byte_sums "$file" 0)"
        expect_equal "repeated chunk of $size bytes" "$(repeated_chunk_checksum "$chunk" "$size")" \
            "$(printf '%x' $((total & 0xffffffff)))"
    done
    rm -rf "$dir"
}

test_read_summary() {
    local file
    file=$(mktemp)
    printf 'Recv: Total Bytes Received: 65,536 KBS: 0    \r    \r\n' >"$file"
    printf 'Successfully received 1,073,741,824 bytes at 512 KBS\nTCPIP Data Checksum: 7f00a1\n' >>"$file"
    read_summary "$file" received
    expect_equal "summary count" "$summary_count" 1073741824
    expect_equal "summary checksum" "$summary_checksum" 7f00a1
    read_summary "$file" sent && expect_equal "summary of the other side" found none
    printf 'Successfully sent 0 bytes at 0 KBS\n' >"$file"
    read_summary "$file" sent && expect_equal "summary without checksum" found none
    rm -f "$file"
}

test_median() {
    expect_equal "median of one" "$(median 7)" 7
    expect_equal "median of odd count" "$(median 9 1 5 3 7)" 5
    expect_equal "median of even count" "$(median 4 1 3 2)" 2.5
    expect_equal "median of large rates" "$(median 1.5e9 9.5e8 2e9)" 1.5e9
}

# One end doing both works in turn: 1 / (1/a + 1/b).
test_serial_bound() {
    expect_equal "serial bound of equal rates" "$(serial_bound 2e9 2e9)" 1e+09
    expect_equal "serial bound of 1.8 and 0.9 GB/s" "$(serial_bound 1.8e9 9e8)" 6e+08
    expect_equal "serial bound without a rate" "$(serial_bound 0 9e8)" 0
}

test_pattern_checksum_small_counts
test_serial_bound
test_pattern_checksum_steps_past_the_top_byte
test_repeated_chunk_checksum_matches_the_whole_file
test_read_summary
test_median
((failures == 0)) && echo "all helper checks passed"
exit $((failures > 0))
