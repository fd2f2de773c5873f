#!/usr/bin/env bash
# Configures the release preset in BUILD_DIR with GoogleTest hidden, as on a machine
# without it, and builds it; the install and package tests then check that build.
#   build_without_gtest.sh CMAKE SOURCE_DIR BUILD_DIR
set -euo pipefail
cmake=$1
source_dir=$2
build_dir=$3

if ! log=$(cd "$source_dir" && "$cmake" --preset release -B "$build_dir" \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON 2>&1); then
    echo "configuring without GoogleTest failed:"
    echo "$log"
    exit 1
fi
if [ "$(grep -c 'GoogleTest not found: the tests are skipped' <<<"$log")" != 1 ]; then
    echo "configuring without GoogleTest did not say once that the tests are skipped:"
    echo "$log"
    exit 1
fi
if ! log=$("$cmake" --build "$build_dir" 2>&1); then
    echo "building without GoogleTest failed:"
    echo "$log"
    exit 1
fi
