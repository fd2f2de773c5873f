#!/usr/bin/env bash
# Shows a manual page the way a reader does, with man -l, and fails on any warning.
# Exits 77 (reported as skipped) where man is not installed.
set -euo pipefail
page=$1

if ! command -v man >/dev/null || ! man --version >/dev/null 2>&1; then
    echo "man is not installed: skipped"
    exit 77
fi

errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
text=$(MANWIDTH=80 MANPAGER=cat PAGER=cat man --warnings=w -l "$page" 2>"$errors") || {
    echo "man -l failed on $page:"
    cat "$errors"
    exit 1
}
if [ -s "$errors" ]; then
    echo "man -l warns about $page:"
    cat "$errors"
    exit 1
fi
if ! grep -q '^NAME' <<<"$text"; then
    echo "man -l shows no NAME section for $page:"
    echo "$text" | head -20
    exit 1
fi
