#!/usr/bin/env bash
# Side-by-side throughput of pitchwire/catchwire and of the usual tools on the same work,
# over 127.0.0.1, in interleaved rounds (ours, peer, ours, peer ...), with the median of
# each side, the ratio ours/peer, and the processor time per byte of the sending process
# and of both ends together. The transfers with "-sha256" at both ends stand beside
# "openssl dgst -sha256" of the same cached file, and a second table sets them against the
# most a single-threaded end with a digest can do.
# Each transfer is checked as far as its tools allow, so a fast wrong answer never counts:
# ours by both byte counts, both checksums (and both digests, against sha256sum's) and the
# received file against the source; nc's received file against the source; iperf3 by the
# bytes received against those sent; openssl's digest against sha256sum's. A failed check
# ends the run with status 1.

# shellcheck source-path=SCRIPTDIR
set -u -o pipefail

readonly usage_text="Usage: throughput.sh [options]
  --smoke            a few MiB, one round, generated mode for 2 s; peers only if installed
  --rounds N         rounds of each comparison (default 5)
  --size MiB         size of the data file (default 1024)
  --bin-dir DIR      folder holding pitchwire and catchwire (or a build folder with
                     sender/ and receiver/)
  --pitchwire PATH   the sender program, or the folder holding it
  --catchwire PATH   the receiver program, or the folder holding it
  --cpus S,R         pin every sending process to processor S and every receiving one to R
                     (0,0: one core; 0,1: two), the same for both pairs; on a virtual
                     machine the scheduler's placement can otherwise decide the result
  --help             this text
Peers: nc (Debian netcat-openbsd), iperf3 and openssl, installed with apt-get when missing
and running as root; the programs are looked up in PATH unless given."

bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$bench_dir/lib_jobs.sh"
source "$bench_dir/lib_checks.sh"
source "$bench_dir/lib_report.sh"
source "$bench_dir/lib_transfers.sh"

smoke_flag=0
rounds=5
size_mib=1024
generated_seconds=10
bin_dir=""
pitchwire=""
catchwire=""
nc_command=""
nc_skipped=""
iperf3_skipped=""
openssl_skipped=""
work_dir=""

# Prints the message on standard error and exits with the given status.
die() {
    echo "Error: $2" >&2
    exit "$1"
}

# Reads the command line into the settings above; exits 2 on a bad one.
parse_options() {
    local rounds_given=0 size_given=0
    while (($# > 0)); do
        case $1 in
        --smoke) smoke_flag=1 ;;
        --rounds | --size | --bin-dir | --pitchwire | --catchwire | --cpus)
            (($# >= 2)) || die 2 "$1 needs a value"
            case $1 in
            --rounds) rounds=$2 rounds_given=1 ;;
            --size) size_mib=$2 size_given=1 ;;
            --bin-dir) bin_dir=$2 ;;
            --pitchwire) pitchwire=$2 ;;
            --catchwire) catchwire=$2 ;;
            --cpus)
                [[ $2 =~ ^([0-9]+),([0-9]+)$ ]] || die 2 "--cpus takes two processor numbers, S,R"
                sender_cpu=${BASH_REMATCH[1]} receiver_cpu=${BASH_REMATCH[2]}
                ;;
            esac
            shift
            ;;
        --help | -h)
            echo "$usage_text"
            exit 0
            ;;
        *) die 2 "unknown option $1 (try --help)" ;;
        esac
        shift
    done
    if ((smoke_flag)); then
        ((rounds_given)) || rounds=1
        ((size_given)) || size_mib=4
        generated_seconds=2
    fi
    [[ $rounds =~ ^[1-9][0-9]*$ ]] || die 2 "--rounds needs a whole number of at least 1"
    [[ $size_mib =~ ^[1-9][0-9]*$ ]] || die 2 "--size needs a whole number of MiB, at least 1"
}

# Sets the variable named $1 to the program $2: from the path given (a program or the folder
# holding it), else from --bin-dir or its sender/ and receiver/ folders, else from PATH.
find_program() {
    local -n program=$1
    local name=$2 folder=$3 candidate
    local -a candidates=()
    if [[ -n $program ]]; then
        candidates=("$program" "$program/$name")
    elif [[ -n $bin_dir ]]; then
        candidates=("$bin_dir/$name" "$bin_dir/$folder/$name")
    else
        candidate=$(command -v "$name") && candidates=("$candidate")
    fi
    for candidate in "${candidates[@]}"; do
        if [[ -f $candidate && -x $candidate ]]; then
            program=$(realpath "$candidate")
            return 0
        fi
    done
    die 2 "$name not found (give --bin-dir or --$name)"
}

# Sets nc_command to a netcat that knows -N (shut the connection down at end of input).
find_netcat() {
    local candidate
    for candidate in nc.openbsd nc; do
        if command -v "$candidate" >/dev/null && "$candidate" -h 2>&1 | grep -q -- '-N'; then
            nc_command=$(command -v "$candidate")
            return 0
        fi
    done
    return 1
}

# Makes sure the peers are there. A full run installs missing ones (root with apt-get) or
# stops and says how; a smoke run installs nothing and skips what is missing.
ensure_peers() {
    local -a missing=()
    find_netcat || missing+=(netcat-openbsd)
    command -v iperf3 >/dev/null || missing+=(iperf3)
    command -v openssl >/dev/null || missing+=(openssl)
    ((${#missing[@]} > 0)) || return 0
    if ((smoke_flag)); then
        find_netcat || nc_skipped="netcat-openbsd is not installed"
        command -v iperf3 >/dev/null || iperf3_skipped="iperf3 is not installed"
        command -v openssl >/dev/null || openssl_skipped="openssl is not installed"
        return 0
    fi
    if ((EUID != 0)) || ! command -v apt-get >/dev/null; then
        die 1 "missing ${missing[*]}: install with: sudo apt-get install ${missing[*]}"
    fi
    echo "Installing ${missing[*]} ..." >&2
    export DEBIAN_FRONTEND=noninteractive
    # The package lists may be stale or absent: refresh them only when the install fails.
    if ! apt-get install -y -q "${missing[@]}" >&2; then
        if ! apt-get update -q >&2 || ! apt-get install -y -q "${missing[@]}" >&2; then
            die 1 "could not install ${missing[*]}"
        fi
    fi
    find_netcat || die 1 "nc without -N after installing netcat-openbsd"
    command -v iperf3 >/dev/null || die 1 "iperf3 missing after installing it"
    command -v openssl >/dev/null || die 1 "openssl missing after installing it"
}

# Removes every process and file of the run; the exit trap.
# shellcheck disable=SC2317 # reached through the trap only
clean_up() {
    stop_jobs
    [[ -n $work_dir ]] && rm -rf "$work_dir"
}

# Makes the data file: copies of a random chunk of a prime size (so that no block or
# buffer boundary lines up with a repeat), then reads it once so that it is cached.
# Sets data_file, data_size, data_checksum and data_digest (sha256sum's, which shares no
# code with the programs' libcrypto).
make_data_file() {
    local chunk=$work_dir/chunk chunk_size=1000003 copies i
    data_file=$work_dir/data
    data_size=$((size_mib * 1048576))
    head -c "$chunk_size" /dev/urandom >"$chunk" || die 1 "cannot read /dev/urandom"
    copies=$((data_size / chunk_size))
    {
        for ((i = 0; i < copies; i++)); do
            cat "$chunk"
        done
        head -c $((data_size % chunk_size)) "$chunk"
    } >"$data_file" || die 1 "cannot write $data_file"
    (($(stat -c %s "$data_file") == data_size)) || die 1 "$data_file has the wrong size"
    data_checksum=$(repeated_chunk_checksum "$chunk" "$data_size")
    data_digest=$(sha256sum <"$data_file") || die 1 "cannot read $data_file"
    data_digest=${data_digest%% *}
    # On disk and in the cache: no write-back of it competes with the transfers.
    sync -f "$data_file"
    cat "$data_file" >/dev/null
}

# Comparisons: what is moved, the peer, our transfer and the peer's (each a command). The
# "-sha256" rows have the digest alone as their peer: the work a transfer with it adds.
case_labels=("file to file" "file to file, -readsize=32768" "file to -"
    "file to -, -readsize=32768" "generated pattern to -" "file to file, -sha256"
    "file to -, -sha256")
case_peers=("nc > file" "nc > file" "nc > /dev/null" "nc > /dev/null" "iperf3 -l 4096"
    "openssl dgst" "openssl dgst")
case_ours=("run_ours_file file" "run_ours_file file -readsize=32768" "run_ours_file -"
    "run_ours_file - -readsize=32768" "run_ours_generated" "run_ours_file file -sha256"
    "run_ours_file - -sha256")
case_theirs=("run_nc_file file" "run_nc_file file" "run_nc_file -" "run_nc_file -" "run_iperf3"
    "run_openssl_digest" "run_openssl_digest")
# Each "-sha256" row and the row of the same transfer without it.
digest_cases=(5 6)
digest_bases=(0 2)
declare -a ours_rates=() peer_rates=() ours_cpu=() peer_cpu=() ours_pair=() peer_pair=()

# Prints why the peer of comparison INDEX does not run; nothing when it runs.
peer_skip_reason() {
    case ${case_theirs[$1]} in
    run_iperf3) echo "$iperf3_skipped" ;;
    run_openssl_digest) echo "$openssl_skipped" ;;
    *) echo "$nc_skipped" ;;
    esac
}

# Runs one transfer (a command of case_ours or case_theirs) and reports it on stderr.
measure() {
    local side=$1 index=$2 round=$3
    # shellcheck disable=SC2206 # the command and its arguments, split on blanks
    local -a transfer=(${4})
    "${transfer[@]}"
    printf 'round %d/%d  %-30s %-5s %11s  %s ns/byte (both ends %s)\n' "$round" "$rounds" \
        "${case_labels[index]}" "$side" "$(format_rate "$result_rate")" "$result_cpu" \
        "$result_pair_cpu" >&2
}

main() {
    parse_options "$@"
    ((BASH_VERSINFO[0] > 5 || (BASH_VERSINFO[0] == 5 && BASH_VERSINFO[1] >= 1))) ||
        die 1 "bash 5.1 or later is needed"
    local tool
    for tool in timeout setsid cmp od awk stat sha256sum; do
        command -v "$tool" >/dev/null || die 1 "$tool is needed"
    done
    [[ -z $sender_cpu ]] || command -v taskset >/dev/null || die 1 "taskset is needed for --cpus"
    find_program pitchwire pitchwire sender
    find_program catchwire catchwire receiver
    ensure_peers

    trap clean_up EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    work_dir=$(mktemp -d "${TMPDIR:-/tmp}/throughput.XXXXXX") || die 1 "no temporary folder"
    job_root=$work_dir/jobs
    mkdir "$job_root" || die 1 "cannot make $job_root"
    if ((smoke_flag)); then
        transfer_limit=30
    else
        transfer_limit=$((60 + size_mib / 10))
    fi
    transfer_limit=$((transfer_limit + generated_seconds))

    echo "Making a ${size_mib} MiB data file ..." >&2
    make_data_file

    local round index
    for ((round = 1; round <= rounds; round++)); do
        for index in "${!case_labels[@]}"; do
            measure ours "$index" "$round" "${case_ours[index]}"
            ours_rates[index]+=" $result_rate"
            ours_cpu[index]+=" $result_cpu"
            ours_pair[index]+=" $result_pair_cpu"
            [[ -z $(peer_skip_reason "$index") ]] || continue
            measure peer "$index" "$round" "${case_theirs[index]}"
            peer_rates[index]+=" $result_rate"
            peer_cpu[index]+=" $result_cpu"
            peer_pair[index]+=" $result_pair_cpu"
        done
    done

    echo
    echo "Throughput over 127.0.0.1, median of $rounds round(s); ${size_mib} MiB cached file;" \
        "generated mode ${generated_seconds} s; every transfer verified"
    print_table_header
    for index in "${!case_labels[@]}"; do
        print_table_row "${case_labels[index]}" "${case_peers[index]}" "${ours_rates[index]}" \
            "${peer_rates[index]:-}" "${ours_cpu[index]}" "${peer_cpu[index]:-}" \
            "${ours_pair[index]}" "${peer_pair[index]:-}" "$(peer_skip_reason "$index")"
    done

    echo
    echo "Cost of -sha256 at both ends: the serial bound is 1 / (1/rate without + 1/openssl's rate);" \
        "the goal is 0.9 of it, and CPU per byte within (without) + (openssl's) at the sender," \
        "(without) + 2 x (openssl's) for both ends"
    print_digest_header
    local base
    for index in "${!digest_cases[@]}"; do
        base=${digest_bases[index]}
        index=${digest_cases[index]}
        if [[ -n $(peer_skip_reason "$index") ]]; then
            printf '%-30s (%s)\n' "${case_labels[index]}" "$(peer_skip_reason "$index")"
            continue
        fi
        print_digest_row "${case_labels[index]}" "${ours_rates[base]}" "${ours_rates[index]}" \
            "${peer_rates[index]}" "${ours_cpu[base]}" "${ours_cpu[index]}" \
            "${peer_cpu[index]}" "${ours_pair[base]}" "${ours_pair[index]}"
    done
}

# Exiting here keeps bash from reading on in this file if it is edited during a run.
main "$@"
exit "$?"
