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
