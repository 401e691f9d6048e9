#!/usr/bin/env bash
# Outside resizes and F11 presses on the real launcher, one screen after another (run by
# scripts/stress-windows.sh inside its Wine session; not a ctest road, it takes minutes):
#   stress_windows.sh <build folder> [resizes, default 200] [toggles, default 50] [screens] [exe]
# (exe: a launcher program in the build's bin folder, Varnis.exe unless another is named)
# Every resize comes from another process (window_tool.exe, as a window manager would do it) and
# every toggle is a key press; each must be answered within 20 s, or the run stops with HANG and
# the backtraces of the launcher's threads.
. "$(dirname "$0")/common.sh" "$1"
resizes=${2:-200}
toggles=${3:-50}
screens=${4:-"iso build splash"}
exe=${5:-Varnis.exe}

make_tools build_quick.txt
iso=$work/disc.iso
"$repo/demo/make-demo-iso.sh" "$iso"
winiso=$(winpath "$iso")

# Wine's debugger on the hung launcher: every thread's frames.
backtraces() {
  local cmd=$work/winedbg.txt wpid
  wpid=$(wine winedbg --command "info process" 2>/dev/null | tr -d '\r' | awk -v e="'$exe'" 'index($0, e) { print $1; exit }')
  [ -n "$wpid" ] || { echo "(no launcher process for winedbg)"; return; }
  printf 'attach 0x%s\nbt all\ndetach\nquit\n' "$wpid" > "$cmd"
  # It prints every process's threads; the launcher's are kept.
  timeout 60 "$VARNIS_WINE_RUN" winedbg --file "$(winpath "$cmd")" </dev/null 2>&1 | tr -d '\r' |
    awk -v e="$exe" '/^Backtracing for thread/ { keep = index($0, e) } keep' || true
}
hang() { echo "HANG on the $screen screen: $*"; backtraces; fail "the launcher stopped answering ($screen: $*)"; }
# A key without effect: a hang when the launcher no longer answers a resize either, else a lost key.
not_answered() {
  local probe
  probe=$(cd "$work" && "$VARNIS_WINE_RUN" "$bin/window_tool.exe" resize 1 </dev/null 2>&1 | tr -d '\r') || true
  echo "$probe" | grep -q "^resizes answered 1 of 1" || hang "$*"
  fail "$* (the launcher still answers a resize: the key was lost on the way; saved: $(grep '^fullscreen=' "$data/settings.ini" 2>/dev/null))"
}

# prepare <screen>: a fresh data folder whose first screen is that one.
prepare() {
  rm -rf "$data"; mkdir -p "$data/work"
  case $1 in
    iso) ;;
    build)
      printf 'iso=%s\npicture=0\nsaves=\nfullscreen=0\n' "$winiso" > "$data/settings.ini"
      printf 'out STAGE lift Recompile the game code\nout PROGRESS 42 function 1\nsleep 600000\n' \
        > "$tools/project/tools/build_from_iso.py" ;;
    splash)
      printf 'iso=%s\npicture=0\nsaves=\nfullscreen=0\n' "$winiso" > "$data/settings.ini"
      mkdir -p "$data/work/build"
      printf 'iso=%s\nversion=1.0-e2e\n' "$winiso" > "$data/work/ready.txt"
      cp "$bin/fixture_game_good.dll" "$data/work/build/varnis_game.dll" ;;
  esac
}

fullscreen_saved() { grep -q "^fullscreen=$1" "$data/settings.ini" 2>/dev/null; }

for screen in $screens; do
  prepare "$screen"
  start_launcher "$exe"
  frame=$(wait_frame 30) || fail "no window for the $screen screen"
  xdotool mousemove 0 0 2>/dev/null || true
  sleep 2
  start=$(date +%s.%N)
  out=$(cd "$work" && "$VARNIS_WINE_RUN" "$bin/window_tool.exe" resize "$resizes" </dev/null 2>&1 | tr -d '\r') || true
  echo "$out" | grep -q "^resizes answered $resizes of $resizes" || hang "$(echo "$out" | tail -n 2 | tr '\n' ' ')"
  t_resize=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
  start=$(date +%s.%N)
  state=0
  for i in $(seq 1 "$toggles"); do
    state=$((1 - state))
    xdotool windowfocus "$frame" 2>/dev/null || true
    xdotool key --window "$frame" F11 2>/dev/null || xdotool key F11
    wait_until 20 fullscreen_saved "$state" || not_answered "F11 press $i of $toggles not answered within 20 s"
  done
  t_toggle=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
  has_lines "$launcher_log" "launcher exiting" && fail "the launcher ended on the $screen screen"
  printf '%-7s %d of %d outside resizes answered (%s s), %d of %d F11 presses answered (%s s)\n' \
    "$screen" "$resizes" "$resizes" "$t_resize" "$toggles" "$toggles" "$t_toggle"
  keys "$frame" alt+F4
  wait_all_exited 30 || fail "the launcher did not end after the $screen screen"
done
echo "ok: stress windows (Wine ${VARNIS_WINE})"
