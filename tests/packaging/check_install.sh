#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that exactly the two programs, their
# manual pages, their bash completions and the copyright land where a Unix user looks.
#   check_install.sh CMAKE BUILD_DIR PITCHWIRE CATCHWIRE MAN_DIR
set -euo pipefail
cmake=$1
build_dir=$2
pitchwire=$3
catchwire=$4
man_dir=$5

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

if ! log=$("$cmake" --install "$build_dir" --prefix "$prefix" 2>&1); then
    echo "cmake --install failed:"
    echo "$log"
    exit 1
fi

status=0
for program in pitchwire catchwire; do
    if [ ! -x "$prefix/bin/$program" ]; then
        echo "bin/$program is missing or not executable"
        status=1
    fi
done
cmp -s "$pitchwire" "$prefix/bin/pitchwire" || { echo "bin/pitchwire is not the built program"; status=1; }
cmp -s "$catchwire" "$prefix/bin/catchwire" || { echo "bin/catchwire is not the built program"; status=1; }
for page in pitchwire.1 catchwire.1; do
    if ! cmp -s "$man_dir/$page" "$prefix/share/man/man1/$page"; then
        echo "share/man/man1/$page is missing or differs from man/$page"
        status=1
    fi
done

installed=$(cd "$prefix" && find . -type f | sort)
expected=$(printf '%s\n' ./bin/catchwire ./bin/pitchwire \
    ./share/bash-completion/completions/catchwire ./share/bash-completion/completions/pitchwire \
    ./share/doc/pitchwire/copyright ./share/man/man1/catchwire.1 ./share/man/man1/pitchwire.1)
if [ "$installed" != "$expected" ]; then
    echo "the install holds other files than expected:"
    echo "$installed"
    status=1
fi
exit $status
