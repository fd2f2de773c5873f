# One measured transfer of each kind the throughput benchmark compares. Each sets
# result_rate (bytes per second over the wall-clock time of the transfer), result_cpu
# (processor nanoseconds per byte of the sending process) and result_pair_cpu (the same for
# both ends together), or ends the benchmark through
# fail_transfer when anything about the transfer is wrong. Sourced by throughput.sh, which
# sets pitchwire, catchwire, nc_command, data_file, data_size, data_checksum, data_digest,
# work_dir, transfer_limit and generated_seconds.

# Prints the last lines of each named job's output and error log, progress lines unfolded.
show_job_logs() {
    local name
    for name; do
        echo "--- $name: exit status ${job_status[$name]:-unknown}; output:"
        tr '\r' '\n' <"$job_root/$name.out" 2>/dev/null | grep -av '^ *$' | tail -n 12
        echo "--- $name: errors:"
        tr '\r' '\n' <"$job_root/$name.err" 2>/dev/null | grep -av '^ *$' | tail -n 12
    done
}

# Ends the benchmark with status 1: the check that failed, then the logs of the jobs named.
fail_transfer() {
    local message=$1
    shift
    stop_jobs
    {
        echo "Error: check failed: $message"
        show_job_logs "$@"
    } >&2
    exit 1
}

# Processor seconds the sending job used after the moment its baseline was taken.
sender_cpu_since() {
    awk -v total="$(job_cpu_seconds "$1")" -v base="$2" 'BEGIN { printf "%.6f\n", total - base }'
}

# Sets result_cpu and result_pair_cpu for BYTES from the sender's processor seconds and the
# receiving job's. On loopback either end may do the other's share of the TCP work (the
# receiver's reads send what a full window held back), so the sum is the fairer measure
# when the two pairs run at different speeds.
set_cpu_results() {
    local bytes=$1 sender_seconds=$2 receiver_job=$3
    result_cpu=$(ns_per_byte "$sender_seconds" "$bytes")
    result_pair_cpu=$(ns_per_byte "$(awk -v a="$sender_seconds" \
        -v b="$(job_cpu_seconds "$receiver_job")" 'BEGIN { printf "%.6f\n", a + b }')" "$bytes")
}

# Checks a received file against the data file and removes it; the names after the file
# are the jobs whose logs explain a failure.
check_received_file() {
    local file=$1 size
    size=$(stat -c %s "$file" 2>/dev/null) || fail_transfer "no output file $file" "${@:2}"
    ((size == data_size)) || fail_transfer "output file holds $size bytes, not $data_size" "${@:2}"
    cmp -s "$data_file" "$file" || fail_transfer "output file differs from the data file" "${@:2}"
    # Writing back what is left of it would slow down the next transfer, ours or the peer's.
    rm -f "$file"
    sync -f "$data_file"
}

# Writes and deletes a copy of the data file before a transfer into a file. On the virtual
# disks this runs on, the first large write after some seconds without one goes at half speed
# or less (a smaller warm-up does not lift it), and it would otherwise always fall on
# whichever transfer comes first after the runs that write nothing.
warm_up_writes() {
    local scratch=$work_dir/warm-up
    cat "$data_file" >"$scratch" || fail_transfer "cannot write $scratch"
    rm -f "$scratch"
    sync -f "$data_file"
}

# Checks the summary of one of our programs: verb ("sent" or "received"), its output file,
# the byte count and checksum it must report.
check_our_summary() {
    local verb=$1 log=$2 count=$3 checksum=$4
    read_summary "$log" "$verb" || fail_transfer "no \"Successfully $verb\" summary" send recv
    ((summary_count == count)) ||
        fail_transfer "$summary_count bytes $verb, expected $count" send recv
    [[ $summary_checksum == "$checksum" ]] ||
        fail_transfer "checksum $summary_checksum after $verb, expected $checksum" send recv
}

# Checks the "TCPIP Data SHA-256" line of both programs against the data file's digest.
check_our_digests() {
    local verb log
    for verb in sent received; do
        log=$job_root/send.out
        [[ $verb == sent ]] || log=$job_root/recv.out
        read_digest "$log" || fail_transfer "no digest line after $verb" send recv
        [[ $summary_digest == "$data_digest" ]] ||
            fail_transfer "SHA-256 $summary_digest after $verb, expected $data_digest" send recv
    done
}

# pitchwire sends the data file to catchwire. Arguments: "file" or "-" for the receiver's
# output, then extra options for pitchwire; "-sha256" among them goes to catchwire as well,
# there with the digest it must see.
run_ours_file() {
    local target=$1 port output program base_cpu t0 t1 option
    local -a receiver_options=()
    shift
    for option; do
        [[ $option != -sha256 ]] || receiver_options=("-sha256=$data_digest")
    done
    [[ $target == - ]] || warm_up_writes
    pick_port port || fail_transfer "no free TCP port"
    start_job send /dev/null "" "$transfer_limit" "$pitchwire" "-port=$port" "$@" "$data_file"
    { wait_for_text send "Waiting for connection" 10 && wait_for_listener send "$port" 10; } ||
        fail_transfer "pitchwire is not listening on port $port" send
    program=$(job_program_pid send) || fail_transfer "pitchwire did not start" send
    base_cpu=$(process_cpu_seconds "$program")
    output=-
    [[ $target == - ]] || output=$work_dir/received
    t0=$EPOCHREALTIME
    start_job recv /dev/null "" "$transfer_limit" "$catchwire" "-port=$port" \
        "${receiver_options[@]}" 127.0.0.1 "$output"
    wait_jobs send recv || fail_transfer "a program failed" send recv
    t1=$EPOCHREALTIME
    check_our_summary sent "$job_root/send.out" "$data_size" "$data_checksum"
    check_our_summary received "$job_root/recv.out" "$data_size" "$data_checksum"
    ((${#receiver_options[@]} == 0)) || check_our_digests
    [[ $output == - ]] || check_received_file "$output" send recv
    result_rate=$(rate_of "$data_size" "$(elapsed "$t0" "$t1")")
    set_cpu_results "$data_size" "$(sender_cpu_since send "$base_cpu")" recv
}

# netcat sends the data file to netcat. Argument: "file" or "-" (received into /dev/null).
run_nc_file() {
    local target=$1 port output program base_cpu t0 t1
    [[ $target == - ]] || warm_up_writes
    pick_port port || fail_transfer "no free TCP port"
    start_job send "$data_file" "" "$transfer_limit" "$nc_command" -N -l "$port"
    wait_for_listener send "$port" 10 || fail_transfer "nc is not listening on port $port" send
    program=$(job_program_pid send) || fail_transfer "nc did not start" send
    base_cpu=$(process_cpu_seconds "$program")
    output=/dev/null
    [[ $target == - ]] || output=$work_dir/received
    t0=$EPOCHREALTIME
    start_job recv /dev/null "$output" "$transfer_limit" "$nc_command" 127.0.0.1 "$port"
    wait_jobs send recv || fail_transfer "an nc failed" send recv
    t1=$EPOCHREALTIME
    [[ $output == /dev/null ]] || check_received_file "$output" send recv
    result_rate=$(rate_of "$data_size" "$(elapsed "$t0" "$t1")")
    set_cpu_results "$data_size" "$(sender_cpu_since send "$base_cpu")" recv
}

# pitchwire sends its generated pattern to catchwire "-" for generated_seconds, then is
# stopped with SIGTERM (it prints its totals and exits 1).
run_ours_generated() {
    local port program base_cpu t0 t1 sent sent_checksum
    pick_port port || fail_transfer "no free TCP port"
    start_job send /dev/null "" "$transfer_limit" "$pitchwire" "-port=$port" -
    job_allowed["send"]="0 1"
    { wait_for_text send "Waiting for connection" 10 && wait_for_listener send "$port" 10; } ||
        fail_transfer "pitchwire is not listening on port $port" send
    program=$(job_program_pid send) || fail_transfer "pitchwire did not start" send
    base_cpu=$(process_cpu_seconds "$program")
    t0=$EPOCHREALTIME
    start_job recv /dev/null "" "$transfer_limit" "$catchwire" "-port=$port" 127.0.0.1 -
    sleep "$generated_seconds"
    signal_job TERM send
    wait_jobs send recv || fail_transfer "a program failed" send recv
    t1=$EPOCHREALTIME
    read_summary "$job_root/send.out" sent || fail_transfer "no \"Successfully sent\" summary" send recv
    sent=$summary_count
    sent_checksum=$summary_checksum
    ((sent > 0)) || fail_transfer "nothing was sent" send recv
    [[ $sent_checksum == "$(pattern_checksum "$sent")" ]] ||
        fail_transfer "checksum $sent_checksum of $sent bytes is not the pattern's" send recv
    check_our_summary received "$job_root/recv.out" "$sent" "$sent_checksum"
    result_rate=$(rate_of "$sent" "$(elapsed "$t0" "$t1")")
    set_cpu_results "$sent" "$(sender_cpu_since send "$base_cpu")" recv
}

# openssl digests the cached data file alone: the limit of a transfer that digests it.
run_openssl_digest() {
    local t0 t1 digest
    t0=$EPOCHREALTIME
    start_job digest /dev/null "" "$transfer_limit" openssl dgst -sha256 -r "$data_file"
    wait_jobs digest || fail_transfer "openssl dgst failed" digest
    t1=$EPOCHREALTIME
    read -r digest _ <"$job_root/digest.out"
    [[ $digest == "$data_digest" ]] ||
        fail_transfer "openssl's SHA-256 $digest, expected $data_digest" digest
    result_rate=$(rate_of "$data_size" "$(elapsed "$t0" "$t1")")
    result_cpu=$(ns_per_byte "$(job_cpu_seconds digest)" "$data_size")
    result_pair_cpu=$result_cpu
}

# Prints field FIELD ("bytes" or "seconds") of the summary SECTION ("sum_sent" or
# "sum_received") of an iperf3 --json report.
iperf3_figure() {
    tr -d ' \t\n' <"$1" | grep -o "\"$2\":{[^}]*}" | tail -n 1 | grep -oE "\"$3\":[0-9.eE+-]+" |
        cut -d: -f2
}

# iperf3 sends 4096-byte writes for generated_seconds; the rate is its receiver's figure.
run_iperf3() {
    local port sent received seconds
    pick_port port || fail_transfer "no free TCP port"
    start_job server /dev/null "" "$transfer_limit" iperf3 -s -1 -p "$port"
    wait_for_listener server "$port" 10 || fail_transfer "iperf3 -s is not listening" server
    start_job client /dev/null "" "$transfer_limit" iperf3 -c 127.0.0.1 -p "$port" -l 4096 \
        -t "$generated_seconds" --json
    wait_jobs client server || fail_transfer "an iperf3 failed" client server
    sent=$(iperf3_figure "$job_root/client.out" sum_sent bytes)
    received=$(iperf3_figure "$job_root/client.out" sum_received bytes)
    seconds=$(iperf3_figure "$job_root/client.out" sum_received seconds)
    [[ -n $sent && -n $received && -n $seconds ]] || fail_transfer "no iperf3 summary" client
    ((received > 0 && received <= sent)) ||
        fail_transfer "iperf3 received $received of $sent bytes" client server
    result_rate=$(rate_of "$received" "$seconds")
    set_cpu_results "$sent" "$(job_cpu_seconds client)" server
}
