# Helpers shared by the long-run scripts; sourced, not run.

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
