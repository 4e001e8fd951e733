#!/bin/bash
# tools/fuzz.sh [seconds] - a longer fuzz run of every target (default 600 s
# each, ./test runs 20 s). New inputs collect in build/fuzz/corpus/; a
# crash leaves its input in build/fuzz/crash-*: copy it into
# tests/fuzz/corpus/<target>/ so that native.unit replays it from then on.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-600}
tools/build fuzz >/dev/null
cd build/fuzz
for target in parse_command html_log; do
    echo "== fuzz_$target for $seconds s"
    mkdir -p corpus/$target
    bin/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 corpus/$target \
        ../../tests/fuzz/corpus/$target
done
