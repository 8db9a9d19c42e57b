#!/bin/sh
# Runs every benchmark program of the build folder, each started inside the
# build folder (the benchmarks find data.quob there). Fails when the folder
# holds no benchmark program, or when one cannot be started or fails.
#
#   bench.sh BUILD_FOLDER [DOC]
#
# The programs add rows (figure, value, reference, ratio, goal, verdict) to
# one table, which is printed at the end; with DOC (a Markdown file) the
# table, the machine, the command and the date also replace the part of DOC
# between the two marker lines below, or are appended when DOC has none.
set -eu
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_FOLDER [DOC]" >&2
    exit 2
fi
# An absolute path, so that the programs are found from inside the folder.
build=$(cd "$1" 2>/dev/null && pwd) || {
    echo "bench: no build folder $1" >&2
    exit 1
}
doc=${2:-}
programs=$(find "$build/bench" -maxdepth 1 -type f -name '*_bench' 2>/dev/null | sort)
if [ -z "$programs" ]; then
    echo "bench: no benchmark programs in $build/bench (configure with -DNUMBRAL_BENCH=ON)" >&2
    exit 1
fi
rows=$(mktemp "${TMPDIR:-/tmp}/numbral-bench-rows.XXXXXX")
trap 'rm -f "$rows" "$rows.doc"' EXIT
NUMBRAL_BENCH_TABLE=$rows
export NUMBRAL_BENCH_TABLE
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

BEGIN_MARK='<!-- make bench writes the table from here -->'
END_MARK='<!-- to here -->'
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo 2>/dev/null | head -n 1)
cores=$(nproc 2>/dev/null || echo "?")
{
    echo "$BEGIN_MARK"
    echo "Machine: ${cpu:-unknown CPU}, $cores cores; $(uname -sr). Command: \`make bench\`" \
        "(Release build in build-bench/). Date: $(date -u '+%Y-%m-%d %H:%M UTC')."
    echo
    echo "| figure | value | reference | ratio | goal | verdict |"
    echo "|---|---|---|---|---|---|"
    # Cells may not hold a bare pipe.
    sed 's/|/\\|/g; s/\t/ | /g; s/^/| /; s/$/ |/' "$rows"
    echo "$END_MARK"
} >"$rows.doc"
echo
cat "$rows.doc"
if [ -n "$doc" ]; then
    if [ -f "$doc" ] && grep -qF "$BEGIN_MARK" "$doc" && grep -qF "$END_MARK" "$doc"; then
        awk -v begin="$BEGIN_MARK" -v end="$END_MARK" -v table="$rows.doc" '
            $0 == begin { while ((getline line < table) > 0) print line; skipping = 1; next }
            $0 == end && skipping { skipping = 0; next }
            !skipping { print }' "$doc" >"$doc.new"
        mv "$doc.new" "$doc"
    else
        # Asked before the append, whose redirection makes the file.
        if [ -f "$doc" ]; then echo >>"$doc"; fi
        cat "$rows.doc" >>"$doc"
    fi
    echo "bench: table written to $doc"
fi
missed=$(grep -c '	MISSED$' "$rows" || true)
echo "bench: ran $count benchmark programs; $missed goals missed"
