#!/usr/bin/env bash
# Formats a manual page with every groff warning switched on: any diagnostic, a page
# without the sections a reader looks for, or one without its date, fails.
set -euo pipefail
page=$1

if ! command -v groff >/dev/null; then
    echo "groff is not installed (Debian package groff-base)"
    exit 1
fi

diagnostics=$(groff -ww -man -z "$page" 2>&1) || {
    echo "groff failed on $page: $diagnostics"
    exit 1
}
if [ -n "$diagnostics" ]; then
    echo "groff warns about $page:"
    echo "$diagnostics"
    exit 1
fi

sections=$(sed -n 's/^\.SH[[:space:]]*"\{0,1\}\([^"]*\)"\{0,1\}[[:space:]]*$/\1/p' "$page")
status=0
for wanted in NAME SYNOPSIS DESCRIPTION OPTIONS "THE BYTE STREAM" OUTPUT \
              "THE ABORT QUESTION" "EXIT STATUS" CAVEATS EXAMPLES AUTHORS "REPORTING BUGS" \
              "SEE ALSO"; do
    if ! grep -qxF "$wanted" <<<"$sections"; then
        echo "$page has no section $wanted"
        status=1
    fi
done
if ! grep -qE '^\.TH [A-Z]+ 1 [0-9]{4}-[0-9]{2}-[0-9]{2} ' "$page"; then
    echo "$page has no date in its title line: $(head -n 1 "$page")"
    status=1
fi
exit $status
