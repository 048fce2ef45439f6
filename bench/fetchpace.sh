#!/usr/bin/env bash
# The checker's fetch of a 3 MB document from a local nginx (FETCHPACE_MB
# changes it) against the bare client fetching the same document: every piece
# of the body costs the checker 10 ms of sleep, which the line shows per
# piece. Host tree, and the Windows tree under Wine (DRAVIN_BENCH_WIN, else
# build/win).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
mb=${FETCHPACE_MB:-3}
win=${DRAVIN_BENCH_WIN:-$root/build/win}
work=$tree/bench-fetchpace
mkdir -p "$work"
cd "$work" || exit 1

measure() {
  local url=http://127.0.0.1:$DRAVIN_NGINX_PORT/doc/big.bin
  echo "-- host build ($mb MB)"
  "$tree/bench/fetchpace" "$url" "$work/doc.out"
  if [ ! -f "$win/bench/fetchpace.exe" ]; then
    echo "-- Windows build: $win/bench/fetchpace.exe is missing (make bench builds it)"
    return 0
  fi
  echo "-- Windows build under Wine ($mb MB)"
  "$root/tools/wine-run" "$win/bench/fetchpace.exe" "$url" 'Z:'"${work//\//\\}"'\doc.out'
}
export -f measure
export root tree mb win work

. "$root/tools/xvfb.sh"
bench_display "$root"
DRAVIN_BIG_DOC_MB=$mb python3 "$root/tests/http/web_peers.py" bash -c measure
