# Sourced by the scripts that run Wine: Wine makes no window, hidden ones
# included, without an X display.
#
#   start_xvfb "DISPLAY NUMBERS..." SCREEN
#
# starts Xvfb on the first free display of the list, exports DISPLAY and sets
# xvfb_pid; xvfb_pid stays empty when no display could be started.
start_xvfb() {
  xvfb_pid=""
  local n
  for n in $1; do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "$2" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.05
    done
    if [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    xvfb_pid=""
  done
  return 1
}

# For a benchmark script that runs Wine programs until it ends: a display of
# its own among 200-249, and at its exit Wine's server is waited for first
# (it keeps the display a moment after the last program), then Xvfb stopped.
# The script ends with a message when no display can be had.
#
#   bench_display ROOT    (ROOT: the checkout, whose build/win/wineprefix
#                          is the prefix when WINEPREFIX is not set)
bench_display() {
  bench_root=$1
  xvfb_pid=""
  trap 'WINEPREFIX=${WINEPREFIX:-$bench_root/build/win/wineprefix} wineserver -w; [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1' EXIT
  start_xvfb "$(shuf -i 200-249)" 640x480x24 || { echo "$(basename "$0"): no X display" >&2; exit 1; }
}
