# Shared set-up of the end-to-end scripts; sourced with the build folder as $1.
# Wine: start Windows programs with `wine` (a function of scripts/env.sh) or "$VARNIS_WINE_RUN",
# never /usr/bin/wine; they run under the Wine of this run (VARNIS_WINE=8|10, set by
# scripts/test.sh), in its prefix. "$VARNIS_WINE_RUN" is the form for exec.
set -euo pipefail
build=$(realpath "$1")
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
root=$repo
. "$repo/scripts/env.sh"
. "$repo/scripts/drive.sh"
bin=$build/bin
name=$(basename "$0" .sh)
work=$build/e2e/$name
shots=$build/e2e-shots/$name       # pictures are kept as test artifacts
rm -rf "$work" "$shots"
mkdir -p "$work" "$shots"
settle_dir=$shots   # wait_drawn's last two screenshots stay with the test's pictures
data=$work/data
tools=$work/tools
launcher_log=$data/logs/launcher.log
watch_out=$work/watch.txt
export VARNIS_DATA; VARNIS_DATA=$(winpath "$data")
export VARNIS_TOOLS; VARNIS_TOOLS=$(winpath "$tools")
unset VARNIS_AUTOPLAY DRAVIK_SAVE_DIR DRAVIK_BRIGHTNESS DRAVIK_PFIFO_ASYNC VARNIS_FIXTURE_STAY

[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: run through scripts/test.sh" >&2; exit 1; }

# make_tools <scenario> [module]: a tools folder with the stand-in interpreter and a scenario
# file (from tests/e2e/), VERSION 1.0-e2e and game\varnis_game.dll from a built module.
make_tools() {
  mkdir -p "$tools/python" "$tools/project/tools" "$tools/game"
  cp "$bin/standin/python.exe" "$tools/python/python.exe"
  cp "$repo/tests/e2e/$1" "$tools/project/tools/build_from_iso.py"
  printf '1.0-e2e\n' > "$tools/VERSION"
  cp "$bin/${2:-fixture_game_good.dll}" "$tools/game/varnis_game.dll"
}

# start_launcher [exe]: starts the launcher (and follows its relaunches) in the background.
watch_pid=""
start_launcher() {
  local exe=${1:-Varnis.exe}
  (cd "$work" && exec "$VARNIS_WINE_RUN" "$bin/e2e_tool.exe" watch 150000 "$exe" "$(winpath "$bin/$exe")" \
     </dev/null >"$watch_out" 2>&1) &
  watch_pid=$!
}

winbin=$(winpath "$bin")
launcher_pids() { ps -eo pid=,args= | grep -F -- "$winbin\\Varnis" | grep -v grep | awk '{ print $1 }' || true; }
watch_ended() { ! kill -0 "$watch_pid" 2>/dev/null; }
# wait_all_exited [seconds]: every launcher process of this test has ended and was accounted for.
wait_all_exited() { wait_for "${1:-30}" "every launcher process ended" watch_ended; }
# The distinct exit codes of the launcher processes that ran, e.g. "0 " or "1 ".
exit_codes() { awk '/^exit/ { print $3 }' "$watch_out" | sort -u | tr '\n' ' '; }
process_count() { grep -c '^exit' "$watch_out" || true; }

# launch_frame <n>: the window of the n-th launch, once every earlier launch has ended and was
# accounted for (a relaunched launcher's old window lingers until its process is gone).
launch_frame() {
  local earlier=$(( $1 - 1 ))
  if [ "$earlier" -ge 1 ]; then
    wait_log "$launcher_log" "launcher exiting" "$earlier" 30 >&2 || return 1
    wait_for 20 "the watcher saw $earlier earlier launch(es) end" \
      ended_launches_at_least "$earlier" >&2 || return 1
  fi
  wait_frame 20
}
ended_launches_at_least() { [ "$(process_count)" -ge "$1" ]; }

# ask_windows frame|dpi: what Windows reports (see e2e_tool), e.g. "client 960x720 child 960x720".
ask_windows() {
  "$VARNIS_WINE_RUN" "$bin/e2e_tool.exe" "$1" </dev/null >"$work/ask-$1.txt" 2>/dev/null &&
    tr -d '\r' <"$work/ask-$1.txt"
}

# check_visible <name>: under Wine 10, a screenshot of the whole screen shows the launcher's
# picture inside its frame (Wine 8 shows that frame black, so there the check is skipped). The same
# screenshot with the frame's inside painted black must be refused, or the check could not fail.
check_visible() {
  [ "${VARNIS_WINE:-8}" != 8 ] || return 0
  local frame inside screen=$shots/visible-$1.png black=$work/visible-$1-black.png
  frame=$(frame_id); inside=$(area "$frame" 8)
  [ -n "$inside" ] || fail "no frame to look at for '$1'"
  import -window root "$screen" 2>/dev/null || fail "no screenshot for '$1'"
  frame_lit "$screen" "$inside" || fail "the visible frame is black at '$1' ($(lit_share "$screen" "$inside") lit in $inside)"
  local w h x y
  IFS='x+' read -r w h x y <<<"$inside"
  convert "$screen" -fill black -draw "rectangle $x,$y $(( x + w - 1 )),$(( y + h - 1 ))" "$black"
  ! frame_lit "$black" "$inside" || fail "the visible-frame check passed a black frame"
}

# fail <what>: ends the test with what failed and what the harness saw at that moment.
fail() {
  echo "FAIL: $*" >&2
  local f
  for f in "$launcher_log" "$watch_out"; do
    [ -f "$f" ] && { echo "--- last lines of $f" >&2; tail -n 40 "$f" | sed 's/^/  | /' >&2; }
  done
  echo "--- windows on the screen" >&2
  window_list | sed 's/^/  | /' >&2
  echo "--- last screenshot: ${last_shot:-none}" >&2
  exit 1
}
check() { local what=$1; shift; "$@" || fail "$what"; }

# Only this road's programs: the unit tests that ctest runs beside it start from the same bin folder.
cleanup() {
  local pids
  pids=$(ps -eo pid=,args= | grep -F -e "$winbin\\Varnis" -e "$winbin\\e2e_tool" -e "$bin/Varnis" \
           -e "$bin/e2e_tool" -e "$(winpath "$work")\\" -e "$work/" | grep -v grep | awk '{ print $1 }') || true
  [ -z "$pids" ] || kill -9 $pids 2>/dev/null || true
}
trap cleanup EXIT
