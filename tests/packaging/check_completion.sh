#!/usr/bin/env bash
# Loads the bash completion as bash-completion does and checks that it is registered for
# PROGRAM, offers every option the program accepts (given on this command line, a value
# after "=" left out), and offers file names where a file is expected.
#   check_completion.sh COMPLETION PROGRAM OPTION...
set -euo pipefail
completion=$1
program=$2
shift 2

# shellcheck source=/dev/null
source "$completion"
status=0
if ! registered=$(complete -p "$program" 2>&1); then
    echo "the completion does not register $program: $registered"
    exit 1
fi
function=$(sed -n 's/.*-F \([^ ]*\) .*/\1/p' <<<"$registered")

# The completions for the words after the program name, the last being the one completed.
offered() {
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    "$function" 2>/dev/null || true
    printf '%s\n' "${COMPREPLY[@]}"
}

options=$(offered -; offered /)
for option in "$@"; do
    # "-port=n" is offered as "-port=", "-sha256=hex" as "-sha256=".
    [[ $option == *=* ]] && option="${option%%=*}="
    if ! grep -qxF -- "$option" <<<"$options"; then
        echo "$program offers no $option; it offers:"
        echo "$options"
        status=1
    fi
done
[ "$(offered -p)" = "-pause
-port=" ] || { echo "$program -p offers '$(offered -p)'"; status=1; }
[ -z "$(offered -port = "")" ] || { echo "$program -port= offers a value"; status=1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/disk.img"
cd "$work"
# catchwire's first name is the sender's address, its second the output file.
words=(di)
[ "$program" = catchwire ] && words=(-quiet 127.0.0.1 di)
if [ "$(offered "${words[@]}")" != disk.img ]; then
    echo "$program ${words[*]} offers '$(offered "${words[@]}")', not the file disk.img"
    status=1
fi
exit $status
