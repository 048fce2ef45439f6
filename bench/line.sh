#!/usr/bin/env bash
# Line-mode echo of LINEBENCH_LINES lines of 80 bytes (1,000,000 by default)
# through TWSocket against two plain blocking sockets with a line splitter of
# the same rules and, in the host tree, one poll() loop over two non-blocking
# sockets (linebench.cpp), in the optimised host tree and, under Wine,
# in the Windows tree (DRAVIN_BENCH_WIN, else build/win). The best of 3 runs
# counts in the host tree, one run under Wine, of LINEBENCH_WINE_LINES lines
# (100,000 by default: Wine's loopback takes a few thousand lines a second
# either way, so a million would take minutes).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
lines=${LINEBENCH_LINES:-1000000}
wine_lines=${LINEBENCH_WINE_LINES:-100000}
status=0

echo "-- host build ($lines lines)"
"$tree/bench/linebench" "$lines" 3 || status=1

exe=${DRAVIN_BENCH_WIN:-$root/build/win}/bench/linebench.exe
if [ ! -f "$exe" ]; then
  echo "-- Windows build: $exe is missing (make bench builds it)"
  exit $status
fi
. "$root/tools/xvfb.sh"
bench_display "$root"
echo "-- Windows build under Wine ($wine_lines lines)"
"$root/tools/wine-run" "$exe" "$wine_lines" 1 || status=1
exit $status
