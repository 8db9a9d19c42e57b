#!/bin/sh
# Runs every benchmark program of the build folder.
set -eu
build="$1"
for program in $(find "$build/bench" -maxdepth 1 -type f -name '*_bench' | sort); do
    echo "== $(basename "$program")"
    (cd "$build" && "$program")
done
