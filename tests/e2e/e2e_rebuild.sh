#!/usr/bin/env bash
# A built game that does not match the launcher: the menu explains it and offers "Rebuild the game",
# which relaunches into a new build, after which the fresh launch binds the rebuilt game.
. "$(dirname "$0")/common.sh" "$1"

make_tools build_quick.txt
iso=$work/disc.iso
"$repo/demo/make-demo-iso.sh" "$iso"
winiso=$(winpath "$iso")
mkdir -p "$data/work/build" "$data/work/stamps"
printf 'iso=%s\npicture=0\nsaves=\nfullscreen=0\n' "$winiso" > "$data/settings.ini"
printf 'iso=%s\nversion=1.0-e2e\n' "$winiso" > "$data/work/ready.txt"
cp "$bin/fixture_game_v2.dll" "$data/work/build/varnis_game.dll"
echo '{}' > "$data/work/stamps/build.json"

start_launcher
wait_log "$launcher_log" "prepare failed: The built game does not match this launcher. Rebuild it." 1 30 \
  || fail "the mismatched module was not refused"
frame=$(wait_frame 20) || fail "no menu window"
wait_drawn 30 0.2 || fail "the rebuild offer was never drawn"
shot "$shots/rebuild-offer.png"
check_visible rebuild-offer
keys "$frame" space || fail "could not press Space"  # "Rebuild the game" has the focus
wait_log "$launcher_log" "restarting" 1 20 || fail "Rebuild did not relaunch"
wait_log "$launcher_log" "build started: " 1 30 || fail "the relaunch did not build"
wait_log "$launcher_log" "build finished: exit 0, done" 1 30 || fail "the rebuild did not finish"
wait_log "$launcher_log" "game prepared; log " 1 30 || fail "the rebuilt game was not bound"
frame=$(launch_frame 3) || fail "no window after the rebuild"
keys "$frame" alt+F4 || fail "could not press Alt+F4"
wait_all_exited 30 || fail "the launcher did not end"
check "exit code 0, got '$(exit_codes)'" test "$(exit_codes)" = "0 "
check "three launches" test "$(process_count)" = 3
echo "ok: rebuild"
