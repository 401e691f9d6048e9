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
wait_all_exited() { wait_until "${1:-30}" watch_ended; }
# The distinct exit codes of the launcher processes that ran, e.g. "0 " or "1 ".
exit_codes() { awk '/^exit/ { print $3 }' "$watch_out" | sort -u | tr '\n' ' '; }
process_count() { grep -c '^exit' "$watch_out" || true; }

# launch_frame <n>: the window of the n-th launch, once every earlier launch has ended
# (a relaunched launcher's old window lingers for a moment while it closes).
launch_frame() {
  [ "$1" -le 1 ] || wait_log "$launcher_log" "launcher exiting" $(( $1 - 1 )) 30 >&2 || return 1
  wait_until 20 test "$(process_count)" -ge $(( $1 - 1 )) || return 1
  sleep 1
  wait_frame 20
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

fail() {
  echo "FAIL: $*" >&2
  for f in "$launcher_log" "$watch_out"; do [ -f "$f" ] && { echo "--- $f" >&2; sed 's/^/  | /' "$f" >&2; }; done
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
