#!/usr/bin/env bash
# A saved disc image without a finished build builds at once, in a process without a console
# window; VARNIS_AUTOPLAY=1 carries across the relaunch and starts the game with no input; closing
# the window while it runs ends with code 0.
# Then a value other than "1" does not autoplay, and "Exit" ends the menu.
. "$(dirname "$0")/common.sh" "$1"

make_tools build_quick.txt
# The interpreter's place holds a probe that records whether the build got a console window.
# (Wine 10 gives one to a console program started without CREATE_NO_WINDOW; Wine 8 never does.)
mv "$tools/python/python.exe" "$tools/python/real-python.exe"
cp "$bin/console_probe.exe" "$tools/python/python.exe"
iso=$work/disc.iso
"$repo/demo/make-demo-iso.sh" "$iso"
winiso=$(winpath "$iso")
mkdir -p "$data"
printf 'iso=%s\npicture=-50\nsaves=\nfullscreen=0\n' "$winiso" > "$data/settings.ini"
export VARNIS_AUTOPLAY=1 VARNIS_FIXTURE_STAY=1

start_launcher
wait_log "$launcher_log" "build started: " 1 30 || fail "no build at start-up"
check "no disc image screen on the way" test "$(count_lines "$launcher_log" "disc image chosen")" = 0
wait_for 20 "the probe's record console-probe.txt" test -f "$data/work/console-probe.txt" || fail "the build process did not start"
check "the build process has no console window" grep -qx "console_window=0" "$data/work/console-probe.txt"
wait_log "$launcher_log" "restarting" 1 30 || fail "the build did not relaunch"
wait_log "$launcher_log" "game started" 1 30 || fail "the relaunch did not autoplay"
wait_for 20 "the game's record fixture-run.txt" test -f "$data/work/fixture-run.txt" || fail "the game did not run"
check "brightness at -50" grep -qx "DRAVIK_BRIGHTNESS=-72" "$data/work/fixture-run.txt"
check "options line" grep -qF "options: brightness -50 (runtime -72), saves " "$launcher_log"
frame=$(launch_frame 2) || fail "no window while the game runs"
keys "$frame" alt+F4
wait_all_exited 30 || fail "closing the window did not end the launcher"
check "exit code 0, got '$(exit_codes)'" test "$(exit_codes)" = "0 "
check "two launches" test "$(process_count)" = 2

# The build is finished now: the menu opens; "true" is not "1". Whether a game was started is
# checked once the launcher has ended, so a slow start cannot pass for none.
rm -f "$data/work/fixture-run.txt"
export VARNIS_AUTOPLAY=true
start_launcher
wait_log "$launcher_log" "game prepared; log " 2 30 || fail "the third launch did not bind the game"
frame=$(wait_frame 20) || fail "no menu window"
wait_drawn 30 0.2 || fail "the menu was never drawn"
shot "$shots/menu.png"
check_visible menu
# Play Game has the focus; Exit is three buttons below it.
keys "$frame" Down Down Down space
wait_all_exited 30 || fail "Exit did not end the launcher"
check "exit code 0 after Exit" test "$(exit_codes)" = "0 "
check "exit logged" test "$(count_lines "$launcher_log" "launcher exiting")" = 3
check "no autoplay for 'true'" test ! -f "$data/work/fixture-run.txt"
check "no game started" test "$(count_lines "$launcher_log" "game started")" = 1
echo "ok: autoplay and exit"
