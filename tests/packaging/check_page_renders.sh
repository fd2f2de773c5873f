#!/usr/bin/env bash
# Formats a manual page with every groff warning switched on: any diagnostic, or a page
# without the sections a reader looks for, fails.
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
              "THE ABORT QUESTION" "EXIT STATUS" EXAMPLES; do
    if ! grep -qxF "$wanted" <<<"$sections"; then
        echo "$page has no section $wanted"
        status=1
    fi
done
exit $status
