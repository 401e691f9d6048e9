#!/usr/bin/env bash
# The demo road: builds everything, makes a demo disc image and a demo tools folder (stand-ins for
# the real recompiler tools and game, which are not part of this repository), then starts Varnis.exe
# under Wine 10 (VARNIS_WINE=8 for the system's Wine 8, whose frame stays black).
#  - With a display (DISPLAY set), the launcher opens for you to use.
#  - Without one (or with VARNIS_DEMO_HEADLESS=1), the road runs by itself under a private Xvfb,
#    driven with xdotool, and a picture of each screen is written to demo-out/shots.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VARNIS_WINE=${VARNIS_WINE:-10}
. "$root/scripts/env.sh"
fail_loudly
VARNIS_SETUP_WINES=$VARNIS_WINE bash "$root/scripts/build.sh" >/dev/null
. "$root/scripts/session.sh"
. "$root/scripts/drive.sh"

bin=$BUILD_DIR/bin
out=${VARNIS_DEMO_OUT:-$root/demo-out}
tools=$out/tools
data=$out/data
shots=$out/shots
rm -rf "$tools" "$data" "$shots"
mkdir -p "$tools/python" "$tools/project/tools" "$tools/game" "$data" "$shots"
cp "$bin/standin/python.exe" "$tools/python/python.exe"
cp "$root/demo/tools/project/tools/build_from_iso.py" "$tools/project/tools/"
cp "$root/demo/tools/VERSION" "$tools/VERSION"
cp "$bin/demo/varnis_game.dll" "$tools/game/varnis_game.dll"
iso="$out/Varnis Demo (USA).iso"
bash "$root/demo/make-demo-iso.sh" "$iso"

export VARNIS_TOOLS; VARNIS_TOOLS=$(winpath "$tools")
export VARNIS_DATA; VARNIS_DATA=$(winpath "$data")
winiso=$(winpath "$iso")
log=$data/logs/launcher.log

if [ -n "${DISPLAY:-}" ] && [ -z "${VARNIS_DEMO_HEADLESS:-}" ]; then
  cat <<EOT
Starting Varnis.exe with the demo tools. On its first screen, enter this demo disc image:
  $winiso
(or press Browse... and pick it), then Continue. Data: $data
EOT
  [ "$VARNIS_WINE" != 8 ] || echo "Note: under Wine 8 the launcher's picture stays black on screen (a Wine limit)."
  session_traps
  session_wine
  (cd "$out" && wine "$bin/Varnis.exe" </dev/null >"$out/wine.txt" 2>&1) || true
  # The launcher relaunches itself after a build: the session lasts until every Wine process of
  # the prefix has ended (the server then ends as well).
  wineserver -w </dev/null >/dev/null 2>&1 || true
  exit 0
fi

doing "starting the demo road under Wine $VARNIS_WINE"
session_traps
start_session
(cd "$out" && exec "$VARNIS_WINE_RUN" "$bin/Varnis.exe" </dev/null >"$out/wine.txt" 2>&1) &
step() { echo "demo: $*"; }

frame=$(wait_frame 30) || { echo "demo: the launcher did not open" >&2; exit 1; }
sleep 2
shot "$shots/1-disc-image.png"; step "disc image screen"
keys "$frame" Tab
type_text "$frame" "$winiso"
sleep 0.5
shot "$shots/2-disc-image-filled.png"
keys "$frame" Tab Tab space
wait_log "$log" "build started: " 1 20
sleep 2
shot "$shots/3-build-progress.png"; step "build progress"
sleep 2.5
shot "$shots/4-build-progress-later.png"
wait_log "$log" "restarting" 1 60
wait_log "$log" "game prepared; log " 1 30
sleep 2.5
frame=$(wait_frame 30)
shot "$shots/5-splash.png"; step "splash menu"
keys "$frame" Down space
sleep 1
shot "$shots/6-options.png"; step "options"
keys "$frame" Escape Down Down space
sleep 1
shot "$shots/7-about.png"; step "about"
keys "$frame" Escape
sleep 0.5
keys "$frame" space
wait_log "$log" "game started" 1 20
sleep 2.5
shot "$shots/8-game.png"; step "game"
keys "$frame" alt+F4
wait_log "$log" "launcher exiting" 2 30
step "done; the launcher log:"
sed 's/^/  | /' "$log"
echo "demo: pictures of every screen are in $shots"
