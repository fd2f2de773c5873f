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
# The options each program accepts, one a line, as the pages write them ("-port=n" is
# "-port=" to the completion).
options() {
    local own="-test -readsize=n -sendsize=n"
    [ "$1" = pitchwire ] || own="-autosize=n -autoname -sha256=hex"
    echo "- -config -help -? /? -pause -port=n -quiet -debug -sha256 --help -h --version -V $own" |
        tr ' ' '\n'
}
# The option tags of a page's OPTIONS entries, one name a line; a tag that writes a bare "-"
# (which formatters may print as a hyphen) comes out marked "bare".
page_tags() {
    awk '/^\.SH/ { on = ($0 ~ /^\.SH "?OPTIONS"?$/); next }
        on && /^\.TP/ { getline; sub(/^\.[A-Z]+ */, ""); bare = $0; gsub(/\\-/, "", bare)
            if (bare ~ /-/) { print "bare " $0; next }
            gsub(/\\f[BIRP]|\\&|"| /, ""); gsub(/\\-/, "-"); gsub(/,/, "\n"); print }' "$1"
}
# The files an install holds under its prefix, with their modes, and those a folder holds.
files() {
    printf '%s\n' "644 share/bash-completion/completions/catchwire" \
        "644 share/bash-completion/completions/pitchwire" "644 share/doc/pitchwire/copyright" \
        "644 share/man/man1/catchwire.1" "644 share/man/man1/pitchwire.1" "755 bin/catchwire" \
        "755 bin/pitchwire"
}
listing() {
    (cd "$1" && find . -type f -printf '%m %P\n' | sort)
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
        [ "$(complete -p $program)" = "complete -F _pitchwire_catchwire $program" ] ||
            fail "no completion for $program"
        diff <({ offered -; offered /; } | sort -u) <(options $program | sed 's/=n$\|=hex$/=/' |
            sort -u) || fail "$program's completion"
        # catchwire's first name is the sender's address, its second the output file.
        [ "$(offered -quiet 127.0.0.1 di)" = disk.img ] || fail "$program offers no file"
    done
    ;;
install)
    log=$(cmake --install "$build" --prefix "$work" 2>&1) || fail "cmake --install: $log"
    diff <(listing "$work") <(files | sort) || fail "the installed files"
    ;;
package)
    command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed: skipped"; exit 77; }
    log=$(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" 2>&1) ||
        fail "cpack: $log"
    package=$work/pitchwire_1.34_$(dpkg --print-architecture).deb
    dpkg-deb -x "$package" "$work/root"
    # The package compresses the pages and adds a changelog; lintian checks the owners.
    diff <(listing "$work/root/usr") <({ files | sed 's/\.1$/.1.gz/'
        echo "644 share/doc/pitchwire/changelog.gz"; } | sort) || fail "the package's files"
    # The copyright file states the notice that the banner shows.
    "$build/sender/pitchwire" -help | sed -n '2,3s/^/ /p' |
        grep -vxFf "$work/root/usr/share/doc/pitchwire/copyright" && fail "no notice in copyright"
    # The programs' SHA-256 comes from libcrypto.
    dpkg-deb -f "$package" Depends | grep -qE '(^|, )libssl3( |,|$)' || fail "Depends: libssl3"
    if command -v lintian >/dev/null; then
        # Every tag counts, the pedantic ones included; running as root is not the package's.
        log=$(lintian --info --display-info --pedantic "$package" 2>&1 |
            grep -v '^running with root privileges') && fail "lintian: $log"
    fi
    ;;
esac
echo "PASS: $mode"
