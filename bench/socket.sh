#!/usr/bin/env bash
# Loopback throughput of one TWSocket streaming to another in one message loop,
# against two plain blocking sockets moving the same bytes (sockbench.cpp), in
# the optimised host tree and, under Wine, in the Windows tree (DRAVIN_BENCH_WIN,
# else build/win).
# SOCKBENCH_MB sets the amount (512 MB by default); the best of 3 runs counts
# in the host tree, one run under Wine (its 1460-byte sends take a minute).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
mb=${SOCKBENCH_MB:-512}
status=0

echo "-- host build ($mb MB)"
"$tree/bench/sockbench" "$mb" 3 || status=1

exe=${DRAVIN_BENCH_WIN:-$root/build/win}/bench/sockbench.exe
if [ ! -f "$exe" ]; then
  echo "-- Windows build: $exe is missing (make bench builds it)"
  exit $status
fi
. "$root/tools/xvfb.sh"
bench_display "$root"
echo "-- Windows build under Wine ($mb MB)"
"$root/tools/wine-run" "$exe" "$mb" 1 || status=1
exit $status
