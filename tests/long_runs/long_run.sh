#!/usr/bin/env bash
# Transfers over 127.0.0.1 that take long or need a tool, checked with the benchmark's
# checks: both ends' counts and checksums agree with each other and with the data.
#   long_run.sh valgrind BUILD_DIR
# BUILD_DIR's sender/pitchwire and receiver/catchwire under memcheck (the only check for
# reads of uninitialised memory) on 3 MiB of the counting pattern and of a file received
# into 1 MiB pieces; it needs programs built without sanitizers.
#   long_run.sh soak BUILD_DIR [WORK_DIR [GIB]]
# The same with GIB gibibytes (20 unless told) and 4 GiB pieces: the only run past 2^32
# bytes. Best on optimised programs:
#   ctest --test-dir build/release -L soak --output-on-failure
# Exit status 0 = passed, 1 = failed, 77 = skipped (no valgrind; too little disk).
# Not -e: the benchmark's job helpers expect to see statuses.
set -uo pipefail
# The benchmark's jobs, checks and transfer helpers.
# shellcheck source=/dev/null
source <(cat "$(dirname "$0")"/../../bench/lib_{jobs,checks,transfers}.sh)
pitchwire=$(realpath "$2/sender/pitchwire") catchwire=$(realpath "$2/receiver/catchwire")
job_root=$(mktemp -d "${3:-/tmp}/long_run.XXXXXX") && cd "$job_root" || exit 1
trap 'stop_jobs; rm -rf "$job_root"' EXIT
bytes=$((${4:-20} << 30)) piece_mib=4096 run=()
if [ "$1" = valgrind ]; then
    command -v valgrind >/dev/null || { echo "valgrind is not installed: skipped"; exit 77; }
    run=(valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect)
    bytes=$((3 << 20)) piece_mib=1
fi

# pitchwire SOURCE to catchwire ARGUMENTS...; the pattern ("-") is interrupted once the
# receiver counts the bytes wanted or has ended (which the checks after it notice). Leaves the
# totals, which both ends agree on, in summary_count and summary_checksum.
transfer() {
    local port
    pick_port port || fail_transfer "no free TCP port"
    start_job send /dev/null "" 14400 "${run[@]}" "$pitchwire" "-port=$port" "$1"
    wait_for_text send "Waiting for connection" 60 || fail_transfer "pitchwire did not start" send
    start_job recv /dev/null "" 14400 "${run[@]}" "$catchwire" "-port=$port" 127.0.0.1 "${@:2}"
    if [ "$1" = - ]; then
        # Interrupted, the sender ends with status 1 after its summary.
        job_allowed["send"]=1
        until [ "$(grep -saoE 'Received: [0-9,]+' recv.out | tail -n 1 | tr -dc 0-9)" -ge \
            "$bytes" ] 2>/dev/null || ! job_running recv; do
            sleep 1
        done
        signal_job INT send
    fi
    wait_jobs send recv || fail_transfer "a program failed" send recv
    read_summary send.out sent || fail_transfer "no sender summary" send
    check_our_summary received recv.out "$summary_count" "$summary_checksum"
}

transfer - -
# The counts must not wrap at 32 bits.
[ "$summary_count" -ge "$bytes" ] || fail_transfer "$summary_count bytes sent, not $bytes or more"
[ "$summary_checksum" = "$(pattern_checksum "$summary_count")" ] || fail_transfer "not the pattern"
[ "$(df -Pk . | awk 'NR == 2 { print $4 }')" -ge $(((bytes >> 10) + (1 << 20))) ] ||
    { echo "SKIP: the copy needs $((bytes >> 20)) MiB and 1 GiB more of free disk"; exit 77; }
# Data around the 2 GiB and 4 GiB marks, in the middle and at the very end, holes between.
for offset in 0 2047 4095 $((bytes >> 21)) $(((bytes >> 20) - 1)); do
    head -c 1M /dev/urandom | dd of=source.img bs=1M seek="$offset" conv=notrunc status=none
done
truncate -s "$bytes" source.img
transfer source.img "-autosize=$piece_mib" -autoname IMAGE
[ "$summary_count" = "$bytes" ] || fail_transfer "$summary_count bytes, not $bytes"
# Every piece but the last is full.
[ "$(stat -c %s IMAGE.* | sed '$d' | uniq)" = $((piece_mib << 20)) ] || fail_transfer "short pieces"
cat IMAGE.* | cmp - source.img || fail_transfer "the pieces differ"
echo "PASS: the pattern, then $bytes bytes of a file in $piece_mib MiB pieces"
