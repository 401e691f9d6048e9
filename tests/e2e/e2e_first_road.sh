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
wait_log "$launcher_log" "Varnis launcher 0.2.2; tools $VARNIS_TOOLS; data $VARNIS_DATA" ||
  fail "no start line with the launcher version 0.2.2"
wait_drawn 30 || fail "the disc image screen was never drawn"
shot "$shots/1-disc-image.png"
# At 96 DPI on a 1280x1024 screen: 720 high (under 9/10 of the work area), 4:3 wide, child filling it.
report=$(ask_windows frame) || fail "Windows shows no visible launcher frame"
check "first client area 960x720 at 96 DPI, got '$report'" test "$report" = "client 960x720 child 960x720"
check_visible disc-image

# Keyboard only: Tab into the path field, type, Tab over "Browse..." to "Continue", Space.
# The launcher reads the keys in order, one or two a frame (slow on a loaded machine); the typed
# path's effect is the accepted image in the log.
keys "$frame" Tab || fail "no focus for the path field"
type_text "$frame" "$winiso" || fail "could not type the path"
keys "$frame" Tab Tab space || fail "could not press Continue"
wait_log "$launcher_log" "disc image chosen: $winiso" 1 90 || { shot "$shots/1c-not-accepted.png"; fail "the disc image was not accepted"; }
wait_log "$launcher_log" "build started: \"$VARNIS_TOOLS\\python\\python.exe\" -u" || fail "no build"
shot "$shots/2-build.png"
check "settings.ini holds the image" grep -qxF "iso=$winiso" "$data/settings.ini"

wait_log "$launcher_log" "build finished: exit 0, done" 1 20 || fail "the build did not finish"
wait_log "$launcher_log" "restarting" || fail "no relaunch after the build"
wait_log "$launcher_log" "Varnis launcher 0.2.2" 2 || fail "the relaunch did not start"
wait_log "$launcher_log" "launcher exiting" 1 || fail "the first launch did not end"
wait_log "$launcher_log" "game prepared; log " || fail "the fresh launcher did not bind the built game"
check "the script got the image as one argument" \
  grep -qF -- "--iso \"$winiso\" --work \"$VARNIS_DATA\\work\" --bundle \"$VARNIS_TOOLS\"" \
  "$data/work/standin-cmdline.txt"
build_log=$(ls "$data"/logs/build-*.log | head -n 1)
check "the build log holds the script's output" grep -qx "STAGE lift Recompile the game code" "$build_log"

frame=$(launch_frame 2) || fail "no window after the relaunch"
wait_drawn 30 0.2 || fail "the splash menu was never drawn"
shot "$shots/3-splash.png"
# With no input the menu's texts stay put while the backdrop's sparks come and go: a later picture
# differs from the first beside the menu column (its left and right thirds), and not at all on the
# pixels of the texts (the text colour, 237,240,245). The disc image screen, which has no backdrop,
# settled above with no change.
text_mask() { convert "$1" -fuzz 8% -fill white -opaque 'rgb(237,240,245)' -fill black +opaque white -colorspace gray "$2"; }
share() { convert "$@" -format '%[fx:mean]' info:; }
first=$shots/3-splash.png later=$shots/3b-splash-later.png changed=$work/splash-changed.png
text_mask "$first" "$work/splash-text.png"
backdrop_moved() {
  shot "$later" || return 1
  convert "$first" "$later" -compose difference -composite -colorspace gray -threshold 3% "$changed" &&
    awk -v l="$(share "$changed" -crop 33%x100%+0+0)" -v r="$(share "$changed" -gravity East -crop 33%x100%+0+0)" \
      'BEGIN { exit !(l > 0 || r > 0) }'
}
wait_for 15 "the splash picture changes beside the menu column by itself" backdrop_moved ||
  fail "the splash menu's backdrop is not animated"
text_share=$(share "$work/splash-text.png")
check "the texts are found in the picture ($text_share of it)" awk -v s="$text_share" 'BEGIN { exit !(s > 0.002) }'
text_changed=$(convert "$work/splash-text.png" "$changed" -compose multiply -composite -format '%[fx:mean]' info:)
check "the menu texts did not change with the backdrop ($text_changed)" awk -v s="$text_changed" 'BEGIN { exit !(s == 0) }'
check_visible splash
windowed=$(geometry "$frame")

# Each F11 is one press; its effect (saved setting and frame size) has arrived before the next.
fullscreen_saved() { grep -qx "fullscreen=$1" "$data/settings.ini" && test "$(geometry "$frame")" = "$2"; }
keys "$frame" F11 || fail "could not press F11"
wait_for 10 "fullscreen=1 saved and the frame 1280x1024" fullscreen_saved 1 1280x1024 ||
  fail "F11 did not switch to full screen (frame $(geometry "$frame"), $(grep fullscreen "$data/settings.ini"))"
wait_drawn 20 0.2 || fail "nothing drawn in full screen"
keys "$frame" F11 || fail "could not press F11"
wait_for 10 "fullscreen=0 saved and the frame $windowed again" fullscreen_saved 0 "$windowed" ||
  fail "F11 did not leave full screen (frame $(geometry "$frame"), $(grep fullscreen "$data/settings.ini"))"

# "Play Game" has the focus from the first frame.
keys "$frame" Return || fail "could not press Return"
wait_for 20 "the game's record fixture-run.txt" test -f "$data/work/fixture-run.txt" || fail "the game did not run"
run=$data/work/fixture-run.txt
check "the game got the launcher's child window" grep -qx "launcher_child=1" "$run"
check "on a thread of its own" grep -qx "other_thread=1" "$run"
check "brightness for the original picture" grep -qx "DRAVIK_BRIGHTNESS=-43" "$run"
check "no saves folder chosen" sh -c "! grep -q '^DRAVIK_SAVE_DIR=' '$run'"
check "pfifo default" grep -qx "DRAVIK_PFIFO_ASYNC=1" "$run"
wait_log "$launcher_log" "game started" || fail "no game started line"
check "options logged before the game starts" \
  sh -c "grep -n -e 'options: brightness 0 (runtime -43), saves ' -e 'game started' '$launcher_log' | head -n 1 | grep -q options"

keys "$frame" alt+F4
wait_all_exited 30 || fail "the launcher did not end"
check "exit code 0 for both launches, got '$(exit_codes)'" test "$(exit_codes)" = "0 "
check "two launches" test "$(process_count)" = 2
check "both launches ended through the main loop" test "$(count_lines "$launcher_log" "launcher exiting")" = 2
echo "ok: first road"
