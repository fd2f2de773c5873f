#!/usr/bin/env bash
# Transfers over 127.0.0.1 that take long or need a tool, checked with the benchmark's
# checks: both ends' counts and checksums agree with each other and with the data.
#   long_run.sh valgrind PITCHWIRE CATCHWIRE
# Both programs under memcheck (the only check for reads of uninitialised memory) on 3 MiB
# of the counting pattern and of a file received into 1 MiB pieces; it needs programs built
# without sanitizers.
#   long_run.sh soak PITCHWIRE CATCHWIRE [WORK_DIR [GIB]]
# The same with GIB gibibytes (20 unless told) and 4 GiB pieces: the only run past 2^32
# bytes. Best on optimised programs:
#   ctest --test-dir build/release -L soak --output-on-failure
# Exit status 0 = passed, 1 = failed, 77 = skipped (no valgrind; too little disk).
# Not -e: the benchmark's job helpers expect to see statuses.
set -uo pipefail
for library in jobs checks transfers; do
    # shellcheck source=/dev/null
    source "$(dirname "$0")/../../bench/lib_$library.sh"
done
pitchwire=$(realpath "$2") catchwire=$(realpath "$3")
job_root=$(mktemp -d "${4:-/tmp}/long_run.XXXXXX") || exit 1
trap 'stop_jobs; rm -rf "$job_root"' EXIT
bytes=$((${5:-20} << 30)) piece_mib=4096 run=() receiver_options=()
if [ "$1" = valgrind ]; then
    command -v valgrind >/dev/null || { echo "valgrind is not installed: skipped"; exit 77; }
    run=(valgrind --error-exitcode=99 --leak-check=full "--errors-for-leak-kinds=definite,indirect"
         --track-origins=yes)
    bytes=$((3 << 20)) piece_mib=1
fi

# pitchwire ARGUMENTS to catchwire OUTPUT; the pattern ("-") is interrupted once the receiver
# counts the bytes wanted. Leaves the totals, which both ends agree on, in sent and checksum.
transfer() {
    local output=$1 port
    shift
    pick_port port || fail_transfer "no free TCP port"
    start_job send /dev/null "" 14400 "${run[@]}" "$pitchwire" "-port=$port" "$@"
    wait_for_text send "Waiting for connection" 60 || fail_transfer "pitchwire did not start" send
    start_job recv /dev/null "" 14400 env -C "$job_root" "${run[@]}" "$catchwire" \
        "-port=$port" "${receiver_options[@]}" 127.0.0.1 "$output"
    if [ "$*" = - ]; then
        # Interrupted, the sender ends with status 1 after its summary.
        job_allowed["send"]=1
        until [ "$(grep -saoE 'Received: [0-9,]+' "$job_root/recv.out" | tail -n 1 |
            tr -dc 0-9)" -ge "$bytes" ] 2>/dev/null; do
            job_running recv || fail_transfer "the receiver ended early" send recv
            sleep 1
        done
        signal_job INT send
    fi
    wait_jobs send recv || fail_transfer "a program failed" send recv
    read_summary "$job_root/send.out" sent || fail_transfer "no sender summary" send
    sent=$summary_count checksum=$summary_checksum
    check_our_summary received "$job_root/recv.out" "$sent" "$checksum"
}

transfer - -
# The counts must not wrap at 32 bits.
[ "$sent" -ge "$bytes" ] || fail_transfer "$sent bytes sent, not $bytes or more"
[ "$checksum" = "$(pattern_checksum "$sent")" ] || fail_transfer "not the pattern's checksum"
[ "$(df -Pk "$job_root" | awk 'NR == 2 { print $4 }')" -ge $(((bytes >> 10) + (1 << 20))) ] ||
    { echo "SKIP: the copy needs $((bytes >> 20)) MiB and 1 GiB more of free disk"; exit 77; }
# Data around the 2 GiB and 4 GiB marks, in the middle and at the very end, holes between.
image=$job_root/source.img
for offset in 0 2047 4095 $((bytes >> 21)) $(((bytes >> 20) - 1)); do
    head -c 1M /dev/urandom | dd of="$image" bs=1M seek="$offset" conv=notrunc status=none
done
truncate -s "$bytes" "$image"
receiver_options=("-autosize=$piece_mib" -autoname)
transfer IMAGE "$image"
[ "$sent" = "$bytes" ] || fail_transfer "$sent bytes, not $bytes"
# Every piece but the last is full.
[ "$(stat -c %s "$job_root"/IMAGE.* | sed '$d' | sort -u)" = $((piece_mib << 20)) ] ||
    fail_transfer "pieces of $(stat -c %s "$job_root"/IMAGE.* | xargs) bytes"
cat "$job_root"/IMAGE.* | cmp - "$image" || fail_transfer "the pieces differ"
echo "PASS: the pattern, then $sent bytes of a file in $piece_mib MiB pieces"
