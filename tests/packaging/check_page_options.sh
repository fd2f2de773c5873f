#!/usr/bin/env bash
# Compares the options a manual page describes with the options the program accepts
# (given on this command line) and with the ones its usage text lists for -help.
#   check_page_options.sh PROGRAM PAGE OPTION...
set -euo pipefail
program=$1
page=$2
shift 2
accepted=("$@")

# The tag of each entry of the OPTIONS section, as a reader sees it: the font macro and
# its quotes dropped, its arguments joined, "\-" turned into "-". Aliases that share an
# entry ("-help, -?, /?") are listed one per line. A tag that writes a plain "-" is
# reported: formatters may print it as a hyphen, which no program option matches.
tags=$(awk '
    /^\.SH/ { in_options = ($0 ~ /^\.SH[ \t]+"?OPTIONS"?[ \t]*$/); next }
    !in_options { next }
    /^\.TP/ { tag_next = 1; next }
    tag_next {
        tag_next = 0
        line = $0
        sub(/^\.[A-Za-z]+[ \t]*/, "", line)
        plain = line
        gsub(/\\-/, "", plain)
        if (plain ~ /-/) { print "PLAIN-HYPHEN " $0; next }
        text = ""; quoted = 0
        for (i = 1; i <= length(line); i++) {
            c = substr(line, i, 1)
            if (c == "\"") { quoted = !quoted; continue }
            if (c == " " && !quoted) continue
            text = text c
        }
        gsub(/\\f[BIRP]/, "", text)
        gsub(/\\&/, "", text)
        gsub(/\\-/, "-", text)
        n = split(text, names, ",")
        for (k = 1; k <= n; k++) {
            gsub(/^ +| +$/, "", names[k])
            if (names[k] != "") print names[k]
        }
    }
' "$page")

status=0
if grep -q '^PLAIN-HYPHEN ' <<<"$tags"; then
    echo "$page writes an option tag with a plain hyphen instead of \\-:"
    grep '^PLAIN-HYPHEN ' <<<"$tags" | sed 's/^PLAIN-HYPHEN /    /'
    status=1
fi

for option in "${accepted[@]}"; do
    if ! grep -qxF -- "$option" <<<"$tags"; then
        echo "$page does not describe the option $option"
        status=1
    fi
done
while IFS= read -r tag; do
    [ -z "$tag" ] && continue
    [[ $tag == PLAIN-HYPHEN* ]] && continue
    known=0
    for option in "${accepted[@]}"; do
        [ "$tag" = "$option" ] && known=1
    done
    if [ $known = 0 ]; then
        echo "$page describes $tag, which the program does not accept"
        status=1
    fi
done <<<"$tags"

# The usage lines start with seven blanks and the option, as in "       -port       : ...".
help_status=0
usage=$(timeout 30 "$program" -help </dev/null) || help_status=$?
if [ $help_status != 0 ]; then
    echo "$program -help exited with status $help_status, not 0 as the page says"
    status=1
fi
listed=$(sed -n 's/^       \(-[^ ]*\).*/\1/p' <<<"$usage")
if [ -z "$listed" ]; then
    echo "$program -help lists no options; it printed:"
    echo "$usage"
    exit 1
fi
while IFS= read -r option; do
    # The usage text writes "-port" for the option "-port=n".
    if ! grep -qxF -- "$option" <<<"$tags" && ! grep -q -- "^${option}=" <<<"$tags"; then
        echo "$program -help lists $option, which $page does not describe"
        status=1
    fi
done <<<"$listed"
exit $status
