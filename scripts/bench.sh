#!/bin/sh
# Runs every benchmark program of the build folder, each started inside the
# build folder (the benchmarks find data.quob there). Fails when the folder
# holds no benchmark program, or when one cannot be started or fails.
set -eu
if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_FOLDER" >&2
    exit 2
fi
# An absolute path, so that the programs are found from inside the folder.
build=$(cd "$1" 2>/dev/null && pwd) || {
    echo "bench: no build folder $1" >&2
    exit 1
}
programs=$(find "$build/bench" -maxdepth 1 -type f -name '*_bench' 2>/dev/null | sort)
if [ -z "$programs" ]; then
    echo "bench: no benchmark programs in $build/bench (configure with -DNUMBRAL_BENCH=ON)" >&2
    exit 1
fi
count=0
while IFS= read -r program; do
    if [ ! -x "$program" ]; then
        echo "bench: $program cannot be run" >&2
        exit 1
    fi
    echo "== $(basename "$program")"
    (cd "$build" && "$program") || {
        echo "bench: $(basename "$program") failed" >&2
        exit 1
    }
    count=$((count + 1))
done <<LIST
$programs
LIST
echo "bench: ran $count benchmark programs"
