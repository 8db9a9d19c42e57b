#!/bin/sh
# Runs one stage of the tests with CTest and, when every test passed, leaves
# "NAME COUNT" in the build folder for the closing line of `make test`.
# usage: ctest_stage.sh NAME BUILD_FOLDER JOBS [ctest selection, e.g. -L audio]
set -eu
name=$1
build=$2
jobs=$3
shift 3
rm -f "$build/test-stage.txt"
ctest --test-dir "$build" --output-on-failure --no-tests=error --parallel "$jobs" "$@"
count=$(ctest --test-dir "$build" -N "$@" | sed -n 's/^Total Tests: //p')
echo "$name ${count:-0}" > "$build/test-stage.txt"
