# Background jobs for the throughput benchmark: each program runs in a session of its own
# (no controlling terminal), under a deadline, with its output in files and its processor
# time recorded when it ends. Sourced by throughput.sh; needs job_root set to an empty folder.

declare -A job_pid=()     # name -> pid of the subshell that runs and times the job
declare -A job_status=()  # name -> exit status, once waited for
declare -A job_allowed=() # name -> exit statuses that count as success ("0" at start)
declare -A used_ports=()  # ports handed out in this run: never reused, whatever their state
sender_cpu=""             # with --cpus: the processor each sending job runs on
receiver_cpu=""           # and the one each receiving job runs on

# Starts a job and returns at once. Arguments: name, standard input, standard output
# ("" for the job's own log), deadline in seconds, then the command. The job's files are
# $job_root/NAME.{out,err,pid,cpu}: .pid holds the program's own pid once it runs, .cpu the
# processor time of the whole job once it has ended. The sending jobs (send, client) and the
# receiving ones (recv, server) are pinned to their processors when --cpus gave them.
start_job() {
    local name=$1 input=$2 output=$3 limit=$4
    shift 4
    local -a placement=()
    case $name in
    send | client) [[ -z $sender_cpu ]] || placement=(taskset -c "$sender_cpu") ;;
    recv | server) [[ -z $receiver_cpu ]] || placement=(taskset -c "$receiver_cpu") ;;
    esac
    local base="$job_root/$name"
    rm -f "$base.out" "$base.err" "$base.pid" "$base.cpu"
    [[ -n $output ]] || output="$base.out"
    (
        # sh records its pid and then becomes the program, so .pid names the program itself.
        # shellcheck disable=SC2016
        timeout -k 5 "$limit" setsid -w sh -c 'echo "$$" >"$0" && exec "$@"' "$base.pid" "${placement[@]}" "$@" \
            <"$input" >"$output" 2>"$base.err"
        status=$?
        times >"$base.cpu"
        exit "$status"
    ) &
    job_pid[$name]=$!
    job_allowed[$name]=0
    unset "job_status[$name]"
}

# Prints the pid of the job's program; fails if it has not started within 10 s.
job_program_pid() {
    local pid_file="$job_root/$1.pid" pid="" tries
    for ((tries = 0; tries < 1000; tries++)); do
        [[ -s $pid_file ]] && read -r pid <"$pid_file"
        if [[ -n $pid ]]; then
            echo "$pid"
            return 0
        fi
        sleep 0.01
    done
    return 1
}

# Prints the processor time in seconds that a finished job used (user plus system).
job_cpu_seconds() {
    awk 'NR == 2 {
            total = 0
            for (i = 1; i <= 2; i++) {
                split($i, part, "m")
                sub("s", "", part[2])
                total += part[1] * 60 + part[2]
            }
            printf "%.6f\n", total
        }' "$job_root/$1.cpu"
}

# Prints the processor time in seconds that a running process has used so far; 0 when the
# kernel does not say.
process_cpu_seconds() {
    local run_ns=0 rest
    if [[ -r /proc/$1/schedstat ]]; then
        read -r run_ns rest <"/proc/$1/schedstat" || run_ns=0
    fi
    awk -v ns="${run_ns:-0}" 'BEGIN { printf "%.6f\n", ns / 1e9 }'
}

# Returns 0 while the job's subshell has not been waited for and is still running.
job_running() {
    local pid=${job_pid[$1]:-}
    [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null
}

# Runs the command after NAME and SECONDS until it succeeds. Fails when job NAME ends first
# or after the deadline in seconds.
wait_while_running() {
    local name=$1 deadline=$((SECONDS + $2))
    shift 2
    while ((SECONDS <= deadline)); do
        "$@" && return 0
        job_running "$name" || return 1
        sleep 0.005
    done
    return 1
}

# Waits until TEXT appears in the job's output, as wait_while_running fails.
wait_for_text() {
    wait_while_running "$1" "$3" grep -sqaF -- "$2" "$job_root/$1.out"
}

# Returns 0 when some socket uses local TCP port P (IPv4 or IPv6), and 1 when none does:
# only listening sockets when the state "listening" follows, else any (TIME_WAIT included).
port_sockets() {
    local hex state=""
    printf -v hex ':%04X' "$1"
    [[ ${2:-} == listening ]] && state=0A
    awk -v port="$hex" -v state="$state" \
        'FNR > 1 && substr($2, length($2) - 4) == port && (state == "" || $4 == state) { found = 1 }
        END { exit !found }' /proc/net/tcp /proc/net/tcp6 2>/dev/null
}

# Waits until the job listens on port P, as wait_while_running fails.
wait_for_listener() {
    wait_while_running "$1" "$3" port_sockets "$2" listening
}

# Sets the variable named by $1 to a TCP port that no socket uses now, chosen at random
# below the kernel's ephemeral range, and never the same twice in one run.
pick_port() {
    local -n picked_port=$1
    local tries candidate
    for ((tries = 0; tries < 200; tries++)); do
        candidate=$((20000 + RANDOM % 12000))
        [[ -n ${used_ports[$candidate]:-} ]] && continue
        port_sockets "$candidate" && continue
        used_ports[$candidate]=1
        picked_port=$candidate
        return 0
    done
    return 1
}

# Sends a signal to the job's program (not to the subshell that times it).
signal_job() {
    local pid
    pid=$(job_program_pid "$2") || return 1
    kill "-$1" "$pid" 2>/dev/null
}

# Waits for the named jobs. Returns 0 when each ended with one of its allowed statuses;
# on the first that did not, stops the others and returns 1. Statuses go to job_status.
wait_jobs() {
    local -A pending=()
    local name finished status
    for name; do
        pending[${job_pid[$name]}]=$name
    done
    while ((${#pending[@]} > 0)); do
        finished=""
        wait -n -p finished "${!pending[@]}"
        status=$?
        [[ -n $finished ]] || continue
        name=${pending[$finished]}
        unset "pending[$finished]" "job_pid[$name]"
        job_status[$name]=$status
        if [[ " ${job_allowed[$name]} " != *" $status "* ]]; then
            stop_jobs "${pending[@]}"
            return 1
        fi
    done
    return 0
}

# Ends the named jobs (all jobs when none are named): SIGTERM to each program and its
# subshell, then SIGKILL to whatever is left after 5 s, and waits for them.
stop_jobs() {
    local names=("$@") name pid program tries alive
    ((${#names[@]} > 0)) || names=("${!job_pid[@]}")
    for name in "${names[@]}"; do
        pid=${job_pid[$name]:-}
        [[ -n $pid ]] || continue
        if kill -0 "$pid" 2>/dev/null && [[ -s $job_root/$name.pid ]]; then
            read -r program <"$job_root/$name.pid" && kill -TERM "$program" 2>/dev/null
        fi
        kill -TERM "$pid" 2>/dev/null
    done
    for ((tries = 0; tries < 500; tries++)); do
        alive=0
        for name in "${names[@]}"; do
            pid=${job_pid[$name]:-}
            [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && alive=1
        done
        ((alive)) || break
        sleep 0.01
    done
    for name in "${names[@]}"; do
        pid=${job_pid[$name]:-}
        [[ -n $pid ]] || continue
        if kill -0 "$pid" 2>/dev/null; then
            [[ -s $job_root/$name.pid ]] && read -r program <"$job_root/$name.pid" &&
                kill -KILL "$program" 2>/dev/null
            kill -KILL "$pid" 2>/dev/null
        fi
        wait "$pid" 2>/dev/null
        unset "job_pid[$name]"
    done
}
