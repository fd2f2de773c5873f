# What the throughput benchmark knows about correct results: the summary lines the two
# programs print, and the byte sums that the benchmark data must give. Sourced by
# throughput.sh.

# Reads "Successfully sent|received N bytes at R KBS" and "TCPIP Data Checksum: X" from a
# program's output and sets summary_count (N without its commas) and summary_checksum (X).
# Fails when either line is missing. The last of each counts: progress lines end in "\r".
read_summary() {
    local file=$1 verb=$2 line
    summary_count=""
    summary_checksum=""
    line=$(tr '\r' '\n' <"$file" | grep -aE "^Successfully $verb [0-9,]+ bytes at [0-9]+ KBS$" |
        tail -n 1)
    [[ -n $line ]] || return 1
    line=${line#"Successfully $verb "}
    line=${line%% *}
    summary_count=${line//,/}
    line=$(tr '\r' '\n' <"$file" | grep -aE '^TCPIP Data Checksum: [0-9a-f]+$' | tail -n 1)
    [[ -n $line ]] || return 1
    summary_checksum=${line#TCPIP Data Checksum: }
}

# Reads the last "TCPIP Data SHA-256: X" line of a program's output into summary_digest.
# Fails when there is none.
read_digest() {
    summary_digest=$(tr '\r' '\n' <"$1" | grep -aE '^TCPIP Data SHA-256: [0-9a-f]{64}$' |
        tail -n 1)
    summary_digest=${summary_digest#TCPIP Data SHA-256: }
    [[ -n $summary_digest ]]
}

# Prints the 32-bit byte sum (lower-case hexadecimal, as the programs print it) of the
# first N bytes of the generated stream: little-endian 32-bit values 0, 1, 2 ... Each
# byte position of a value repeats a 0..255 staircase, so whole cycles and the partial
# cycle are summed in closed form.
pattern_checksum() {
    local bytes=$1 values=$(($1 / 4)) sum=0 shift step cycle whole rest steps extra b
    for shift in 0 8 16 24; do
        step=$((1 << shift))
        cycle=$((step << 8))
        whole=$((values / cycle))
        rest=$((values % cycle))
        steps=$((rest >> shift))
        extra=$((rest & (step - 1)))
        sum=$((sum + whole * step * 32640 + step * steps * (steps - 1) / 2 + steps * extra))
    done
    # A byte count that is not a multiple of 4 ends inside the next value.
    for ((b = 0; b < bytes % 4; b++)); do
        sum=$((sum + ((values >> (8 * b)) & 255)))
    done
    printf '%x\n' $((sum & 0xffffffff))
}

# Prints "SUM PREFIX": the byte sum of a whole file and of its first N bytes, as decimal.
byte_sums() {
    od -An -v -tu1 "$1" | awk -v prefix="$2" '
        { for (i = 1; i <= NF; i++) { total += $i; if (++n == prefix) head = total } }
        END { printf "%d %d\n", total, head + 0 }'
}

# Prints the byte sum (hexadecimal) of a file made of whole copies of CHUNK followed by the
# start of one more copy, SIZE bytes in all, without reading the big file.
repeated_chunk_checksum() {
    local chunk=$1 size=$2 chunk_size sums total head
    chunk_size=$(stat -c %s "$chunk")
    sums=$(byte_sums "$chunk" $((size % chunk_size)))
    read -r total head <<<"$sums"
    printf '%x\n' $((((size / chunk_size) * total + head) & 0xffffffff))
}
