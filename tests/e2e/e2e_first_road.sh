#!/usr/bin/env bash
# A new player's whole road: disc image screen, build, relaunch, splash menu, full screen, play,
# and closing the window while the game runs.
. "$(dirname "$0")/common.sh" "$1"

make_tools build_quick.txt
iso="$work/Mías disc.iso"
"$repo/demo/make-demo-iso.sh" "$iso"
winiso=$(winpath "$iso")
export VARNIS_FIXTURE_STAY=1   # the game keeps running until its window is gone

start_launcher
frame=$(wait_frame 30) || fail "no launcher window"
wait_log "$launcher_log" "Varnis launcher 0.2.2; tools $VARNIS_TOOLS; data $VARNIS_DATA"
wait_drawn 30 || fail "the disc image screen was never drawn"
shot "$shots/1-disc-image.png"
check_visible disc-image

# Keyboard only: Tab into the path field, type, Tab over "Browse..." to "Continue", Space.
keys "$frame" Tab
type_text "$frame" "$winiso"
shot "$shots/1b-disc-image-typed.png"
keys "$frame" Tab Tab space
wait_log "$launcher_log" "disc image chosen: $winiso" 1 15 || { shot "$shots/1c-not-accepted.png"; fail "the disc image was not accepted"; }
wait_log "$launcher_log" "build started: \"$VARNIS_TOOLS\\python\\python.exe\" -u"
sleep 1
shot "$shots/2-build.png"
check "settings.ini holds the image" grep -qxF "iso=$winiso" "$data/settings.ini"

wait_log "$launcher_log" "build finished: exit 0, done" 1 20
wait_log "$launcher_log" "restarting"
wait_log "$launcher_log" "Varnis launcher 0.2.2" 2
wait_log "$launcher_log" "launcher exiting" 1
wait_log "$launcher_log" "game prepared; log " || fail "the fresh launcher did not bind the built game"
check "the script got the image as one argument" \
  grep -qF -- "--iso \"$winiso\" --work \"$VARNIS_DATA\\work\" --bundle \"$VARNIS_TOOLS\"" \
  "$data/work/standin-cmdline.txt"
build_log=$(ls "$data"/logs/build-*.log | head -n 1)
check "the build log holds the script's output" grep -qx "STAGE lift Recompile the game code" "$build_log"

frame=$(launch_frame 2) || fail "no window after the relaunch"
sleep 1
shot "$shots/3-splash.png"
check_visible splash
windowed=$(geometry "$frame")

# press_until <key> <condition...>: presses the key (at most three times: under Wine a key-up can
# be lost while the frame changes style, and the next press then reads as an auto-repeat).
press_until() {
  local key=$1 try; shift
  for try in 1 2 3; do
    keys "$frame" "$key"
    wait_until 4 "$@" && return 0
  done
  return 1
}
press_until F11 grep -qx "fullscreen=1" "$data/settings.ini" || fail "F11 did not save full screen"
check "full screen covers the screen" test "$(geometry "$frame")" = "1280x1024"
sleep 0.5
press_until F11 grep -qx "fullscreen=0" "$data/settings.ini" || fail "F11 did not leave full screen"
check "the window size is restored" test "$(geometry "$frame")" = "$windowed"

# "Play Game" has the focus from the first frame.
keys "$frame" Return
wait_until 20 test -f "$data/work/fixture-run.txt" || fail "the game did not run"
run=$data/work/fixture-run.txt
check "the game got the launcher's child window" grep -qx "launcher_child=1" "$run"
check "on a thread of its own" grep -qx "other_thread=1" "$run"
check "brightness for the original picture" grep -qx "DRAVIK_BRIGHTNESS=-43" "$run"
check "no saves folder chosen" sh -c "! grep -q '^DRAVIK_SAVE_DIR=' '$run'"
check "pfifo default" grep -qx "DRAVIK_PFIFO_ASYNC=1" "$run"
wait_log "$launcher_log" "game started"
check "options logged before the game starts" \
  sh -c "grep -n -e 'options: brightness 0 (runtime -43), saves ' -e 'game started' '$launcher_log' | head -n 1 | grep -q options"

keys "$frame" alt+F4
wait_all_exited 30 || fail "the launcher did not end"
check "exit code 0 for both launches, got '$(exit_codes)'" test "$(exit_codes)" = "0 "
check "two launches" test "$(process_count)" = 2
check "both launches ended through the main loop" test "$(count_lines "$launcher_log" "launcher exiting")" = 2
echo "ok: first road"
