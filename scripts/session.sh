# A private X display and one persistent wineserver for a run of Wine programs; sourced.
# start_session exports DISPLAY; stop_session ends both and undoes the userland's mounts when the
# Wine in use lives in one. Callers run session_traps before start_session.
. "$root/scripts/userland.sh"
session_xvfb_pid=""
session_mounted=""

# session_wine: binds the userland for the whole run (tests running at once share the mounts).
session_wine() {
  [ -n "$VARNIS_WINE_CHROOT" ] || return 0
  session_mounted=1
  userland_mount "$BUILD_DIR"
}
start_session() {
  session_wine || return 1
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
  if [ -n "$session_mounted" ]; then
    # The userland's processes must be gone before its mounts can go.
    wineserver -w >/dev/null 2>&1 &
    local waiter=$! i
    for i in $(seq 1 50); do kill -0 "$waiter" 2>/dev/null || break; sleep 0.1; done
    kill "$waiter" 2>/dev/null || true
    userland_unmount
    session_mounted=""
  fi
}
# Also on a failure, Ctrl+C or kill the session ends and the mounts go.
session_traps() { trap stop_session EXIT; trap 'exit 130' INT; trap 'exit 143' TERM; }
