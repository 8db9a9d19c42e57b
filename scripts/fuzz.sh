#!/bin/sh
# Runs every fuzz target in the build folder for a share of the given seconds,
# starting from its seed corpus. Fails on the first crash, leak or sanitizer
# report.
set -eu
build="$1"
seconds="$2"
targets=$(find "$build/tests/fuzz" -maxdepth 1 -type f -name '*_fuzz' 2>/dev/null | sort)
[ -z "$targets" ] && { echo "no fuzz targets"; exit 0; }
count=$(echo "$targets" | wc -l)
share=$((seconds / count))
[ "$share" -lt 5 ] && share=5
for target in $targets; do
    name=$(basename "$target")
    corpus="$build/tests/fuzz/corpus-$name"
    mkdir -p "$corpus"
    seeds=$(cat "$target.seeds" 2>/dev/null || true)
    echo "fuzzing $name for ${share}s"
    # shellcheck disable=SC2086
    "$target" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/tests/fuzz/" "$corpus" $seeds
done
