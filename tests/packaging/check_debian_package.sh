#!/usr/bin/env bash
# Makes the Debian package from the build's CPack configuration, in a directory of its
# own, and checks its contents and control fields, or with "lintian" has lintian check it.
# Exits 77 (reported as skipped) where dpkg-deb, or lintian, is not installed.
#   check_debian_package.sh CPACK BUILD_DIR MAN_DIR [lintian]
set -euo pipefail
cpack=$1
build_dir=$2
man_dir=$3
mode=${4:-contents}

if ! command -v dpkg-deb >/dev/null; then
    echo "dpkg-deb is not installed: skipped"
    exit 77
fi
if [ "$mode" = lintian ] && ! command -v lintian >/dev/null; then
    echo "lintian is not installed (Debian package lintian): skipped"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! log=$(cd "$work" && "$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" 2>&1); then
    echo "cpack failed:"
    echo "$log"
    exit 1
fi
shopt -s nullglob
packages=("$work"/out/*.deb)
if [ ${#packages[@]} != 1 ]; then
    echo "cpack made ${#packages[@]} packages, not one:"
    echo "$log"
    exit 1
fi
package=${packages[0]}

if [ "$mode" = lintian ]; then
    # Every tag counts, the pedantic ones included; lintian's remark on running as root is
    # not about the package.
    report=$(lintian --info --display-info --pedantic "$package" 2>&1 |
        grep -v '^running with root privileges' || true)
    if [ -n "$report" ]; then
        echo "lintian reports on $(basename "$package"):"
        echo "$report"
        exit 1
    fi
    exit 0
fi

status=0
if [ "$(basename "$package")" != "pitchwire_1.34_$(dpkg --print-architecture 2>/dev/null || echo amd64).deb" ]; then
    echo "unexpected package file name $(basename "$package")"
    status=1
fi

listing=$(dpkg-deb -c "$package")
for program in pitchwire catchwire; do
    if ! grep -qE "^-rwxr-xr-x root/root .* \./usr/bin/$program$" <<<"$listing"; then
        echo "the package has no executable /usr/bin/$program owned by root"
        status=1
    fi
    member=./usr/share/man/man1/$program.1.gz
    if ! grep -qE "^-rw-r--r-- root/root .* \\$member$" <<<"$listing"; then
        echo "the package has no manual page $member"
        status=1
    elif ! dpkg-deb --fsys-tarfile "$package" | tar -xOf - "$member" | gzip -dc |
            cmp -s - "$man_dir/$program.1"; then
        echo "$member is not man/$program.1"
        status=1
    fi
done
for member in ./usr/share/doc/pitchwire/copyright ./usr/share/doc/pitchwire/changelog.gz \
              ./usr/share/bash-completion/completions/pitchwire \
              ./usr/share/bash-completion/completions/catchwire; do
    if ! grep -qE "^-rw-r--r-- root/root .* \\$member$" <<<"$listing"; then
        echo "the package has no $member"
        status=1
    fi
done
if [ $status != 0 ]; then
    echo "$listing"
fi
# The copyright file states the notice that the banner shows.
copyright=$(dpkg-deb --fsys-tarfile "$package" | tar -xOf - ./usr/share/doc/pitchwire/copyright)
while IFS= read -r line; do
    if ! grep -qxF " $line" <<<"$copyright"; then
        echo "the copyright file does not state the banner's line '$line'"
        status=1
    fi
done < <("$build_dir/sender/pitchwire" -help | sed -n '2,3p')

field() {
    dpkg-deb -f "$package" "$1"
}
[ "$(field Package)" = pitchwire ] || { echo "Package is '$(field Package)'"; status=1; }
[ "$(field Version)" = 1.34 ] || { echo "Version is '$(field Version)'"; status=1; }
grep -qE '^[^<]+ <[^@> ]+@[^> ]+>$' <<<"$(field Maintainer)" ||
    { echo "Maintainer '$(field Maintainer)' is not 'name <address>'"; status=1; }
# The programs' SHA-256 comes from libcrypto.
for library in libc6 libssl3; do
    grep -qE "(^|, )$library( |,|\$)" <<<"$(field Depends)" ||
        { echo "Depends '$(field Depends)' does not name $library"; status=1; }
done
[ -n "$(field Description)" ] || { echo "the package has no Description"; status=1; }
exit $status
