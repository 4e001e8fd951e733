#!/bin/bash
# tools/bench.sh [runs] - the benchmarks: the native scan over the in-memory
# platform (built without sanitizers, optimised) and a full Refresh under
# Wine against the floor of its platform calls, in a scratch prefix.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-5}
tools/build win64 >/dev/null
if [ ! -f build/bench-native/CMakeCache.txt ]; then
    cmake -S . -B build/bench-native -DCMAKE_BUILD_TYPE=Release -DORVANE_SANITIZE=OFF >/dev/null
fi
cmake --build build/bench-native --target orvane_bench_scan -j "$(nproc)" >/dev/null
echo "== Native scan over the in-memory platform (our logic alone)"
build/bench-native/bin/orvane_bench_scan 9
echo
echo "== Refresh under Wine (64-bit build) against the platform floor, median of $runs"
export WINEPREFIX="$root/build/wine/bench-prefix"
rm -rf "$WINEPREFIX"
unset DISPLAY
tests/wine-session.sh tests/wine-run.sh build/win64/bin/orvane_bench_refresh.exe "$runs"
echo
echo "== The window's Refresh under Wine: rows, details, longest answer, median of 3"
tests/wine-session.sh tests/wine-run.sh build/win64/bin/orvane_bench_refresh.exe window 3
echo
echo "== The console program on one entry against its whole list under Wine, median of 3"
tests/wine-session.sh tests/wine-run.sh build/win64/bin/orvane_bench_refresh.exe console 3
