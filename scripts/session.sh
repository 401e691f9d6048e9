# A private X display and one persistent wineserver for a run of Wine programs; sourced.
# start_session exports DISPLAY; stop_session ends both (call it from a trap).
session_xvfb_pid=""
start_session() {
  mkdir -p "$WINEPREFIX/.."
  local fdfile="$WINEPREFIX/../xvfb.display.$$"
  rm -f "$fdfile"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" </dev/null >/dev/null 2>&1 &
  session_xvfb_pid=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.05
  done
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
  # Its output must not hold the caller's pipes open.
  wineserver -p </dev/null >/dev/null 2>&1 &
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
stop_session() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$session_xvfb_pid" ] && kill "$session_xvfb_pid" >/dev/null 2>&1 || true
  session_xvfb_pid=""
}
