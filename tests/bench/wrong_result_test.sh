#!/usr/bin/env bash
# A benchmark transfer with a wrong result must end the run with status 1 and a message,
# whatever is wrong, and leave no files behind. A stand-in receiver runs the real one and
# then spoils one thing about its result. Arguments: throughput.sh, then pitchwire and
# catchwire (each the program or its folder).

set -u -o pipefail
script=$1 pitchwire=$2 catchwire=$3
[[ -d $catchwire ]] && catchwire=$catchwire/catchwire

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
stand_in=$scratch/catchwire
cat >"$stand_in" <<'EOF'
#!/usr/bin/env bash
# Spoils the result of the real receiver as SPOIL says: file, checksum or count.
out=$("$REAL_CATCHWIRE" "$@")
status=$?
target=${!#}
case $SPOIL in
file)
    if [[ $target != - ]]; then
        byte=$(od -An -tu1 -j 1000 -N 1 "$target")
        printf "\\$(printf '%03o' $(((byte + 1) % 256)))" |
            dd of="$target" bs=1 seek=1000 conv=notrunc status=none
    fi
    ;;
checksum)
    sum=$(sed -n 's/^TCPIP Data Checksum: //p' <<<"$out")
    out=${out/"Checksum: $sum"/"Checksum: $(printf '%x' $((0x$sum ^ 1)))"}
    ;;
count)
    count=$(sed -nE 's/^Successfully received ([0-9,]+) bytes.*/\1/p' <<<"$out")
    out=${out/"received $count bytes"/"received $((${count//,/} + 1)) bytes"}
    ;;
esac
printf '%s\n' "$out"
exit "$status"
EOF
chmod +x "$stand_in"

failures=0
run_spoiled() {
    local spoil=$1 expected=$2 status log=$scratch/log
    mkdir -p "$scratch/tmp"
    SPOIL=$spoil REAL_CATCHWIRE=$catchwire TMPDIR=$scratch/tmp \
        timeout 100 bash "$script" --smoke --pitchwire "$pitchwire" --catchwire "$stand_in" \
        >"$log" 2>&1
    status=$?
    if ((status != 1)); then
        echo "FAIL: spoiled $spoil: exit status $status, expected 1"
        failures=$((failures + 1))
    fi
    if ! grep -a '^Error: check failed: ' "$log" | grep -qF -- "$expected"; then
        echo "FAIL: spoiled $spoil: no 'check failed: $expected'"
        failures=$((failures + 1))
    fi
    if [[ -n $(ls -A "$scratch/tmp") ]]; then
        echo "FAIL: spoiled $spoil: left files behind: $(ls -A "$scratch/tmp")"
        failures=$((failures + 1))
    fi
    ((failures == 0)) || cat "$log"
}

run_spoiled file "output file differs from the data file"
run_spoiled checksum "checksum"
run_spoiled count "bytes received, expected"
((failures == 0)) && echo "every spoiled result was caught"
exit $((failures > 0))
