#!/usr/bin/env bash
# Transfers over 127.0.0.1 that take long or need a tool, checked with the benchmark's
# checks: both ends' counts and checksums agree with each other and with the data.
#   long_run.sh valgrind PITCHWIRE CATCHWIRE
# A file and a stretch of the counting pattern with both programs under memcheck (the only
# check for reads of uninitialised memory); it needs programs built without sanitizers.
#   long_run.sh soak PITCHWIRE CATCHWIRE [WORK_DIR [GIB]]
# GIB gibibytes (20 unless told) of the counting pattern, then a sparse file of that size
# cut into 4 GiB pieces: the only run past 2^32 bytes. Best on optimised programs:
#   ctest --test-dir build/release -L soak --output-on-failure
# Exit status 0 = passed, 1 = failed, 77 = skipped (no valgrind; too little disk).
# Not -e: the benchmark's job helpers expect to see statuses.
set -uo pipefail
bench=$(dirname "$0")/../../bench
for library in jobs checks transfers; do
    # shellcheck source=/dev/null
    source "$bench/lib_$library.sh"
done
mode=$1 pitchwire=$(realpath "$2") catchwire=$(realpath "$3")
mkdir -p "${4:-/tmp}"
job_root=$(mktemp -d "${4:-/tmp}/long_run.XXXXXX") || exit 1
trap 'stop_jobs; rm -rf "$job_root"' EXIT
bytes=$((${5:-20} << 30))
run=()
if [ "$mode" = valgrind ]; then
    command -v valgrind >/dev/null || { echo "valgrind is not installed: skipped"; exit 77; }
    run=(valgrind --error-exitcode=99 --leak-check=full "--errors-for-leak-kinds=definite,indirect"
         --track-origins=yes)
    bytes=$((1 << 20))
fi
receiver_options=()

# pitchwire ARGUMENTS to catchwire, which writes OUTPUT in FOLDER; a generated stream is
# interrupted once the receiver counts COUNT bytes. Leaves the totals in sent and checksum.
transfer() {
    local folder=$1 output=$2 count=$3 port so_far
    shift 3
    pick_port port || fail_transfer "no free TCP port"
    start_job send /dev/null "" 14400 "${run[@]}" "$pitchwire" "-port=$port" "$@"
    wait_for_text send "Waiting for connection" 60 || fail_transfer "pitchwire did not start" send
    start_job recv /dev/null "" 14400 env -C "$folder" "${run[@]}" "$catchwire" "-port=$port" \
        "${receiver_options[@]}" 127.0.0.1 "$output"
    if [ "$*" = - ]; then
        # Interrupted, the sender ends with status 1 after its summary.
        job_allowed["send"]=1
        while :; do
            so_far=$(grep -aoE 'Received: [0-9,]+' "$job_root/recv.out" 2>/dev/null | tail -n 1 |
                tr -dc 0-9 || true)
            [ "${so_far:-0}" -lt "$count" ] || break
            job_running recv || fail_transfer "the receiver ended early" send recv
            sleep 1
        done
        signal_job INT send
    fi
    wait_jobs send recv || fail_transfer "a program failed" send recv
    read_summary "$job_root/send.out" sent || fail_transfer "no sender summary" send
    sent=$summary_count checksum=$summary_checksum
    read_summary "$job_root/recv.out" received || fail_transfer "no receiver summary" recv
    echo "sent $sent, received $summary_count, checksum $checksum"
    [ "$summary_count $summary_checksum" = "$sent $checksum" ] ||
        fail_transfer "the ends disagree" send recv
}

echo "== the counting pattern, $bytes bytes"
transfer "$job_root" - "$bytes" -
[ "$checksum" = "$(pattern_checksum "$sent")" ] || fail_transfer "not the pattern's checksum"
if [ "$mode" = valgrind ]; then
    head -c 300000 /dev/urandom >"$job_root/source.img"
    transfer "$job_root" copy.img 0 "$job_root/source.img"
    cmp "$job_root/source.img" "$job_root/copy.img" || fail_transfer "the copy differs"
    echo "PASS: memcheck reports no errors"
    exit 0
fi
# The counts must not wrap at 32 bits.
[ "$sent" -ge "$bytes" ] || fail_transfer "$sent bytes sent, not $bytes or more"
echo "== a sparse file of $bytes bytes in 4 GiB pieces"
if [ "$(df -Pk "$job_root" | awk 'NR == 2 { print $4 }')" -lt $(((bytes >> 10) + (1 << 20))) ]; then
    echo "SKIP: the copy needs $((bytes >> 30)) GiB and one more of free disk"
    exit 77
fi
# Data around the 2 GiB and 4 GiB marks, in the middle and at the very end, holes between.
for offset in 0 2047 4095 $((bytes >> 21)) $(((bytes >> 20) - 1)); do
    head -c 1M /dev/urandom | dd of="$job_root/source.img" bs=1M seek="$offset" conv=notrunc \
        status=none
done
truncate -s "$bytes" "$job_root/source.img"
mkdir "$job_root/pieces"
receiver_options=(-autosize=4096 -autoname)
transfer "$job_root/pieces" IMAGE 0 "$job_root/source.img"
[ "$sent" = "$bytes" ] || fail_transfer "$sent bytes, not $bytes"
pieces=("$job_root"/pieces/IMAGE.*)
for piece in "${pieces[@]:0:${#pieces[@]}-1}"; do
    [ "$(stat -c %s "$piece")" = $((4 << 30)) ] || fail_transfer "$piece is not 4 GiB"
done
cat "${pieces[@]}" | cmp - "$job_root/source.img" || fail_transfer "the pieces differ"
echo "PASS"
