#!/usr/bin/env bash
# The release build made without GoogleTest, as a user without it makes one, and what it
# ships: manual pages and bash completion that know exactly the options each program
# accepts, the install, and the Debian package (lintian-clean where lintian is installed).
#   check_packaging.sh build|pages|install|package SOURCE_DIR BUILD_DIR
# Exit status 0 = passed, 1 = failed, 77 = skipped (no dpkg-deb for the package).
set -euo pipefail
mode=$1 source_dir=$2 build=$(realpath -m "$3")
fail() {
    echo "FAIL: $*"
    exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The options as the pages write them; "-port=n" is "-port=" to the completion.
options() {
    printf '%s\n' - -config -help '-?' '/?' -pause -port=n -quiet -debug -sha256 --help -h \
        --version -V
    if [ "$1" = catchwire ]; then
        printf '%s\n' -autosize=n -autoname -sha256=hex
    else
        printf '%s\n' -test -readsize=n -sendsize=n
    fi
}
# The option tags of a page's OPTIONS entries, one name a line; a tag that writes a bare "-"
# (which formatters may print as a hyphen) comes out marked "bare".
page_tags() {
    awk '/^\.SH/ { on = ($0 ~ /^\.SH "?OPTIONS"?$/); next }
        on && /^\.TP/ { getline; sub(/^\.[A-Z]+ */, ""); bare = $0; gsub(/\\-/, "", bare)
            if (bare ~ /-/) { print "bare " $0; next }
            gsub(/\\f[BIRP]|\\&|"| /, ""); gsub(/\\-/, "-"); gsub(/,/, "\n"); print }' "$1"
}
# The built program.
built() {
    if [ "$1" = pitchwire ]; then echo "$build/sender/$1"; else echo "$build/receiver/$1"; fi
}
# What the completion offers for the words after the program name.
offered() {
    COMP_WORDS=("$program" "$@") COMP_CWORD=$# COMPREPLY=()
    _pitchwire_catchwire 2>/dev/null || true
    printf '%s\n' "${COMPREPLY[@]}"
}

case $mode in
build)
    log=$(cd "$source_dir" && cmake --preset release -B "$build" \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON 2>&1) || fail "configuring: $log"
    [ "$(grep -c 'GoogleTest not found: the tests are skipped' <<<"$log")" = 1 ] ||
        fail "configuring did not say once that the tests are skipped: $log"
    log=$(cmake --build "$build" 2>&1) || fail "building: $log"
    ;;
pages)
    # shellcheck source=/dev/null
    source "$source_dir/packaging/bash_completion"
    cd "$work" && touch disk.img
    for program in pitchwire catchwire; do
        page=$build/man/$program.1
        log=$(groff -ww -man -z "$page" 2>&1) && [ -z "$log" ] || fail "groff on $page: $log"
        diff <(page_tags "$page" | sort) <(options $program | sort) || fail "$page's options"
        usage=$("$(built $program)" -help </dev/null) || fail "$program -help exited $?"
        while read -r listed; do
            page_tags "$page" | sed 's/=.*//' | grep -qxF -- "${listed%%=*}" || fail "-help lists $listed"
        done < <(sed -n 's/^       \(-[^ ]*\).*/\1/p' <<<"$usage")
        [ "$(complete -p $program)" = "complete -F _pitchwire_catchwire $program" ] ||
            fail "no completion for $program"
        diff <({ offered -; offered /; } | sort -u) <(options $program | sed 's/=.*/=/' | sort -u) ||
            fail "$program's completion"
        [ "$(offered -p)" = $'-pause\n-port=' ] || fail "$program -p offers $(offered -p)"
        [ -z "$(offered -port = "")" ] || fail "$program -port= offers a value"
        # catchwire's first name is the sender's address, its second the output file.
        words=(di)
        [ $program = pitchwire ] || words=(-quiet 127.0.0.1 di)
        [ "$(offered "${words[@]}")" = disk.img ] || fail "$program ${words[*]} offers no file"
    done
    ;;
install)
    log=$(cmake --install "$build" --prefix "$work" 2>&1) || fail "cmake --install: $log"
    diff <(cd "$work" && find . -type f | sort) - <<EOF || fail "the installed files"
./bin/catchwire
./bin/pitchwire
./share/bash-completion/completions/catchwire
./share/bash-completion/completions/pitchwire
./share/doc/pitchwire/copyright
./share/man/man1/catchwire.1
./share/man/man1/pitchwire.1
EOF
    for program in pitchwire catchwire; do
        [ -x "$work/bin/$program" ] && cmp "$(built $program)" "$work/bin/$program" &&
            cmp "$build/man/$program.1" "$work/share/man/man1/$program.1" ||
            fail "$program or its page is not the built one"
    done
    ;;
package)
    command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed: skipped"; exit 77; }
    log=$(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" 2>&1) ||
        fail "cpack: $log"
    package=$work/pitchwire_1.34_$(dpkg --print-architecture).deb
    [ "$(ls "$work"/*.deb)" = "$package" ] || fail "cpack made $(ls "$work"/*.deb)"
    files=$(dpkg-deb -c "$package" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort)
    diff <(echo "$files") - <<EOF || fail "the package's files"
-rw-r--r-- root/root ./usr/share/bash-completion/completions/catchwire
-rw-r--r-- root/root ./usr/share/bash-completion/completions/pitchwire
-rw-r--r-- root/root ./usr/share/doc/pitchwire/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/pitchwire/copyright
-rw-r--r-- root/root ./usr/share/man/man1/catchwire.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/pitchwire.1.gz
-rwxr-xr-x root/root ./usr/bin/catchwire
-rwxr-xr-x root/root ./usr/bin/pitchwire
EOF
    dpkg-deb -x "$package" "$work/root"
    for program in pitchwire catchwire; do
        gzip -dc "$work/root/usr/share/man/man1/$program.1.gz" | cmp - "$build/man/$program.1"
    done
    # The copyright file states the notice that the banner shows.
    "$build/sender/pitchwire" -help | sed -n '2,3s/^/ /p' | grep -vxFf \
        "$work/root/usr/share/doc/pitchwire/copyright" && fail "the copyright lacks the notice"
    field() { dpkg-deb -f "$package" "$1"; }
    [ "$(field Package) $(field Version)" = "pitchwire 1.34" ] || fail "Package or Version"
    grep -qE '^[^<]+ <[^@> ]+@[^> ]+>$' <<<"$(field Maintainer)" || fail "Maintainer"
    # The programs' SHA-256 comes from libcrypto.
    for library in libc6 libssl3; do
        grep -qE "(^|, )$library( |,|\$)" <<<"$(field Depends)" || fail "Depends lacks $library"
    done
    [ -n "$(field Description)" ] || fail "no Description"
    if command -v lintian >/dev/null; then
        # Every tag counts, the pedantic ones included; running as root is not the package's.
        log=$(lintian --info --display-info --pedantic "$package" 2>&1 |
            grep -v '^running with root privileges') && fail "lintian: $log"
    fi
    ;;
esac
echo "PASS: $mode"
