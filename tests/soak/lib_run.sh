# Helpers shared by the long-run scripts; sourced, not run.

# The programs a script has started (it appends their pids) and its work folder: both go
# when the script exits, however it exits.
started=()
work=""
clean_up() {
    for pid in "${started[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    [ -z "$work" ] || rm -rf "$work"
}
trap clean_up EXIT

# A TCP port that nothing listens on at the moment.
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 30000))
        if [ -z "$(ss -Htln "sport = :$port")" ]; then
            echo "$port"
            return
        fi
    done
}

# Waits for the pid and leaves its exit status in last_status.
wait_for() {
    last_status=0
    wait "$1" || last_status=$?
}
