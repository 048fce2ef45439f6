#!/usr/bin/env bash
# A Get of one large document (256 MB; HTTPBENCH_MB changes it) from a local
# nginx into a file, no data handler: against `curl -o` in the host tree, and
# under Wine against a WinINet program (InternetOpenUrl + InternetReadFile)
# in the Windows tree (DRAVIN_BENCH_WIN, else build/win). The best of 3 runs
# of each counts.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
mb=${HTTPBENCH_MB:-256}
win=${DRAVIN_BENCH_WIN:-$root/build/win}
work=$tree/bench-http
mkdir -p "$work"
cd "$work" || exit 1

# Runs inside web_peers.py, which starts nginx and serves /doc/big.bin.
measure() {
  local url=http://127.0.0.1:$DRAVIN_NGINX_PORT/doc/big.bin
  best() {  # best seconds of 3 runs of "$@" (each prints "SECONDS BYTES" or nothing)
    local b="" s
    for _ in 1 2 3; do
      s=$("$@") || { echo "failed: $*" >&2; return 1; }
      s=${s%% *}
      if [ -z "$b" ] || awk "BEGIN{exit !($s < $b)}"; then b=$s; fi
    done
    echo "$b"
  }
  curl_run() {
    local t0 t1
    t0=$(date +%s.%N)
    curl -s -o "$work/curl.out" "$url" || return 1
    t1=$(date +%s.%N)
    echo "$(awk "BEGIN{print $t1 - $t0}")"
  }
  report() {  # name, our seconds, peer name, peer seconds
    awk -v n="$1" -v a="$2" -v p="$3" -v b="$4" -v mb="$mb" 'BEGIN{
      printf "%s: THttpCli %.0f MB/s, %s %.0f MB/s, ratio %.2f\n", n, mb/a, p, mb/b, b/a }'
  }
  local ours peer
  echo "-- host build ($mb MB)"
  ours=$(best "$tree/bench/httpget" "$url" "$work/httpget.out") && peer=$(best curl_run) &&
    cmp -s "$work/httpget.out" "$work/curl.out" && report host "$ours" curl "$peer"
  rm -f "$work/httpget.out" "$work/curl.out"
  if [ ! -f "$win/bench/httpget.exe" ] || [ ! -f "$win/bench/wininetget.exe" ]; then
    echo "-- Windows build: $win/bench/httpget.exe or wininetget.exe is missing (make bench builds them)"
    return 0
  fi
  echo "-- Windows build under Wine ($mb MB)"
  ours=$(best "$root/tools/wine-run" "$win/bench/httpget.exe" "$url" 'Z:'"${work//\//\\}"'\httpget.out') &&
    peer=$(best "$root/tools/wine-run" "$win/bench/wininetget.exe" "$url" 'Z:'"${work//\//\\}"'\wininet.out') &&
    cmp -s "$work/httpget.out" "$work/wininet.out" && report Wine "$ours" WinINet "$peer"
  rm -f "$work/httpget.out" "$work/wininet.out"
}
export -f measure
export root tree mb win work

. "$root/tools/xvfb.sh"
bench_display "$root"
DRAVIN_BIG_DOC_MB=$mb python3 "$root/tests/http/web_peers.py" bash -c measure
