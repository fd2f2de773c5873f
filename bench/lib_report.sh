# Figures of the throughput benchmark: medians, units and the closing table. Sourced by
# throughput.sh.

# Prints the median of the numbers given; the mean of the middle two for an even count,
# nothing for none.
median() {
    (($# > 0)) || return 0
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.9g\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Prints the median of a blank-separated list of numbers.
median_of() {
    local -a values
    read -ra values <<<"$1"
    median "${values[@]}"
}

# Prints a rate in bytes per second as GB/s (1e9 bytes) from 1 GB/s up, else as MB/s.
format_rate() {
    awk -v r="$1" 'BEGIN { if (r >= 1e9) printf "%.2f GB/s", r / 1e9; else printf "%.1f MB/s", r / 1e6 }'
}

# Prints nanoseconds per byte with three decimals.
format_cpu() {
    awk -v c="$1" 'BEGIN { printf "%.3f\n", c }'
}

# Prints A / B with two decimals, or "-" when B is 0.
format_ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 == 0) print "-"; else printf "%.2f\n", a / b }'
}

# Prints BYTES / SECONDS (bytes per second); 0 when no time passed.
rate_of() {
    awk -v n="$1" -v s="$2" 'BEGIN { if (s <= 0) print 0; else printf "%.6g\n", n / s }'
}

# Prints processor SECONDS per byte in nanoseconds per byte, with three decimals.
ns_per_byte() {
    awk -v s="$1" -v n="$2" 'BEGIN { if (n <= 0) print 0; else printf "%.3f\n", s * 1e9 / n }'
}

# Prints B - A for two $EPOCHREALTIME readings.
elapsed() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f\n", b - a }'
}

# Prints one line of the table's columns: work, peer, the two rates and their ratio, then
# the processor figures of the senders and of both ends, each with their ratio.
print_columns() {
    printf '%-30s %-14s %10s %10s %5s   %6s %6s %5s   %6s %6s %5s\n' "$@"
}

# Prints the table header: a line naming the two groups of processor figures, then the
# column names.
print_table_header() {
    printf '%-30s %-14s %10s %10s %5s   %-19s   %s\n' "" "" "" "" "" \
        "sender CPU ns/byte" "both ends ns/byte"
    print_columns "work" "peer" "ours" "peer" "ratio" "ours" "peer" "ratio" "ours" "peer" "ratio"
}

# Prints one row: label, peer name, the lists of ours' and peer's rates, sender CPU figures
# and both-ends CPU figures (space separated), and the reason the peer was skipped ("" when
# it ran).
print_table_row() {
    local label=$1 peer=$2 skipped=$9
    local our_rate our_cpu our_pair
    our_rate=$(median_of "$3")
    our_cpu=$(format_cpu "$(median_of "$5")")
    our_pair=$(format_cpu "$(median_of "$7")")
    if [[ -n $skipped ]]; then
        print_columns "$label" "$peer" "$(format_rate "$our_rate")" "skipped" "-" \
            "$our_cpu" "-" "-" "$our_pair" "-" "-"
        printf '%-30s (%s)\n' "" "$skipped"
        return
    fi
    local peer_rate peer_cpu peer_pair
    peer_rate=$(median_of "$4")
    peer_cpu=$(format_cpu "$(median_of "$6")")
    peer_pair=$(format_cpu "$(median_of "$8")")
    print_columns "$label" "$peer" \
        "$(format_rate "$our_rate")" "$(format_rate "$peer_rate")" \
        "$(format_ratio "$our_rate" "$peer_rate")" \
        "$our_cpu" "$peer_cpu" "$(format_ratio "$our_cpu" "$peer_cpu")" \
        "$our_pair" "$peer_pair" "$(format_ratio "$our_pair" "$peer_pair")"
}

# Prints 1 / (1/A + 1/B): the rate of doing work at rate A and then at rate B, one after
# the other, on one processor.
serial_bound() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a <= 0 || b <= 0) print 0; else printf "%.6g\n", 1 / (1 / a + 1 / b) }'
}

# Prints "yes" when A >= B, else "no".
meets() {
    awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 >= b + 0) ? "yes" : "no" }'
}

# Prints the header of the digest cost table.
print_digest_header() {
    printf '%-30s %10s %10s %10s %10s %6s %4s   %-27s   %-27s\n' "" "" "" "" "" "" "" \
        "sender CPU ns/byte" "both ends CPU ns/byte"
    printf '%-30s %10s %10s %10s %10s %6s %4s   %6s %6s %6s %4s   %6s %6s %6s %4s\n' "work" \
        "without" "with" "openssl" "bound" "/bound" "goal" "w/o" "with" "budget" "goal" \
        "w/o" "with" "budget" "goal"
}

# Prints one row of the digest cost table: label, then the lists of rates without
# "-sha256", with it and of openssl alone, the sender CPU figures without and with it and
# openssl's, and the both-ends figures without and with it.
print_digest_row() {
    local without with openssl bound fraction cpu_budget pair_budget
    without=$(median_of "$2")
    with=$(median_of "$3")
    openssl=$(median_of "$4")
    bound=$(serial_bound "$without" "$openssl")
    fraction=$(format_ratio "$with" "$bound")
    local cpu_without cpu_with cpu_openssl pair_without pair_with
    cpu_without=$(median_of "$5")
    cpu_with=$(median_of "$6")
    cpu_openssl=$(median_of "$7")
    pair_without=$(median_of "$8")
    pair_with=$(median_of "$9")
    cpu_budget=$(awk -v a="$cpu_without" -v b="$cpu_openssl" 'BEGIN { print a + b }')
    pair_budget=$(awk -v a="$pair_without" -v b="$cpu_openssl" 'BEGIN { print a + 2 * b }')
    printf '%-30s %10s %10s %10s %10s %6s %4s   %6s %6s %6s %4s   %6s %6s %6s %4s\n' "$1" \
        "$(format_rate "$without")" "$(format_rate "$with")" "$(format_rate "$openssl")" \
        "$(format_rate "$bound")" "$fraction" "$(meets "$fraction" 0.9)" \
        "$(format_cpu "$cpu_without")" "$(format_cpu "$cpu_with")" \
        "$(format_cpu "$cpu_budget")" "$(meets "$cpu_budget" "$cpu_with")" \
        "$(format_cpu "$pair_without")" "$(format_cpu "$pair_with")" \
        "$(format_cpu "$pair_budget")" "$(meets "$pair_budget" "$pair_with")"
}
