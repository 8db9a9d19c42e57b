#!/bin/sh
# The closing lines of `make test`: what each stage ran, then the totals.
# Every stage named here must have left its count (scripts/ctest_stage.sh,
# scripts/fuzz.sh); a stage without one counts as failed.
# usage: test_summary.sh BUILD_FOLDER...
set -eu
passed=0
failed=0
stages=""
for build in "$@"; do
    if [ -r "$build/test-stage.txt" ]; then
        read -r name count < "$build/test-stage.txt"
        passed=$((passed + count))
        stages="$stages${stages:+, }$name $count"
    else
        failed=$((failed + 1))
        stages="$stages${stages:+, }$build did not finish"
    fi
done
echo "make test: $stages"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
