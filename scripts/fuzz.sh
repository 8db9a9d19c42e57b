#!/bin/sh
# Runs every fuzz target in the build folder for a share of the given seconds
# (at least 5 s each), starting from its seed corpus. Fails on the first
# crash, leak or sanitizer report, and when the folder holds no target. On
# success leaves "fuzz COUNT" in the build folder for `make test`.
set -eu
build="$1"
seconds="$2"
rm -f "$build/test-stage.txt"
targets=$(find "$build/tests/fuzz" -maxdepth 1 -type f -name '*_fuzz' 2>/dev/null | sort)
if [ -z "$targets" ]; then
    echo "fuzz: no fuzz targets in $build/tests/fuzz" >&2
    exit 1
fi
count=$(echo "$targets" | wc -l)
share=$((seconds / count))
[ "$share" -lt 5 ] && share=5
while IFS= read -r target; do
    name=$(basename "$target")
    corpus="$build/tests/fuzz/corpus-$name"
    mkdir -p "$corpus"
    seeds=$(cat "$target.seeds" 2>/dev/null || true)
    echo "fuzzing $name for ${share}s"
    # shellcheck disable=SC2086
    "$target" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/tests/fuzz/" "$corpus" $seeds
done <<LIST
$targets
LIST
echo "fuzz $count" > "$build/test-stage.txt"
