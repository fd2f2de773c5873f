#!/usr/bin/env bash
# The release build made without GoogleTest, as a user without it makes one, and what it
# ships: manual pages and bash completion that know exactly the options each program
# accepts, and the install and the Debian package with exactly their files and modes
# (the package lintian-clean where lintian is installed).
#   check_packaging.sh build|pages|files SOURCE_DIR BUILD_DIR
# Exit status 0 = passed, 1 = failed (the failing check is named), 77 = skipped (no dpkg-deb
# for the package; the install is checked first).
set -euo pipefail
mode=$1 source_dir=$2 build=$(realpath -m "$3") work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'echo "FAIL: ${program:-$mode}, line $LINENO: $BASH_COMMAND"' ERR
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
    printf '644 share/%s\n' bash-completion/completions/{catchwire,pitchwire} \
        doc/pitchwire/copyright man/man1/{catchwire,pitchwire}.1
    printf '755 bin/%s\n' catchwire pitchwire
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
    cd "$source_dir" && cmake --preset release -B "$build" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
    cmake --build "$build"
    ;;
pages)
    # shellcheck source=/dev/null
    source "$source_dir/packaging/bash_completion"
    cd "$work" && touch disk.img
    for program in pitchwire catchwire; do
        diff <(page_tags "$build/man/$program.1" | sort) <(options $program | sort)
        [ "$(complete -p $program)" = "complete -F _pitchwire_catchwire $program" ]
        diff <({ offered -; offered /; } | sort -u) <(options $program | sed 's/=n$\|=hex$/=/' |
            sort -u)
        # catchwire's first name is the sender's address, its second the output file.
        [ "$(offered -quiet 127.0.0.1 di)" = disk.img ]
    done
    ;;
files)
    cd "$work" && cmake --install "$build" --prefix "$work/install"
    diff <(listing install) <(files | sort)
    command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed: skipped"; exit 77; }
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work"
    package=$work/pitchwire_1.34_$(dpkg --print-architecture).deb
    dpkg-deb -x "$package" root
    # The package compresses the pages and adds a changelog; lintian checks the owners.
    diff <(listing root/usr) <({ files | sed 's/\.1$/.1.gz/'
        echo "644 share/doc/pitchwire/changelog.gz"; } | sort)
    if command -v lintian >/dev/null; then
        # Every tag counts, the pedantic ones included.
        lintian --info --display-info --pedantic --fail-on error,warning,info,pedantic "$package"
    fi
    ;;
esac
echo "PASS: $mode"
