#!/bin/sh
# Plays the shipped game by script: the whole game, then each play level on
# its own (the CTest label "playthrough"), and prints the game time each run
# played and the wall time it took.
# usage: playthrough.sh BUILD_FOLDER [JOBS]
set -eu
build=$1
jobs=${2:-1}
ctest --test-dir "$build" --output-on-failure --no-tests=error --parallel "$jobs" -L playthrough
# Each test's output follows its "Test: NAME" line in CTest's log.
awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
     /^game time / { printf "%-24s %s\n", name, $0 }' "$build/Testing/Temporary/LastTest.log" | sort
