#!/usr/bin/env bash
# A saved disc image without a finished build builds at once; VARNIS_AUTOPLAY=1 carries across the
# relaunch and starts the game with no input; closing the window while it runs ends with code 0.
# Then a value other than "1" does not autoplay, and "Exit" ends the menu.
. "$(dirname "$0")/common.sh" "$1"

make_tools build_quick.txt
iso=$work/disc.iso
"$repo/demo/make-demo-iso.sh" "$iso"
winiso=$(winpath "$iso")
mkdir -p "$data"
printf 'iso=%s\npicture=-50\nsaves=\nfullscreen=0\n' "$winiso" > "$data/settings.ini"
export VARNIS_AUTOPLAY=1 VARNIS_FIXTURE_STAY=1

start_launcher
wait_log "$launcher_log" "build started: " 1 30 || fail "no build at start-up"
check "no disc image screen on the way" test "$(count_lines "$launcher_log" "disc image chosen")" = 0
wait_log "$launcher_log" "restarting" 1 30
wait_log "$launcher_log" "game started" 1 30 || fail "the relaunch did not autoplay"
wait_until 20 test -f "$data/work/fixture-run.txt" || fail "the game did not run"
check "brightness at -50" grep -qx "DRAVIK_BRIGHTNESS=-72" "$data/work/fixture-run.txt"
check "options line" grep -qF "options: brightness -50 (runtime -72), saves " "$launcher_log"
frame=$(launch_frame 2) || fail "no window while the game runs"
keys "$frame" alt+F4
wait_all_exited 30 || fail "closing the window did not end the launcher"
check "exit code 0, got '$(exit_codes)'" test "$(exit_codes)" = "0 "
check "two launches" test "$(process_count)" = 2

# The build is finished now: the menu opens; "true" is not "1".
rm -f "$data/work/fixture-run.txt"
export VARNIS_AUTOPLAY=true
start_launcher
wait_log "$launcher_log" "game prepared; log " 2 30
frame=$(wait_frame 20) || fail "no menu window"
sleep 3
check "no autoplay for 'true'" test ! -f "$data/work/fixture-run.txt"
check "no game started" test "$(count_lines "$launcher_log" "game started")" = 1
shot "$shots/menu.png"
check_visible menu
# Play Game has the focus; Exit is three buttons below it.
keys "$frame" Down Down Down space
wait_all_exited 30 || fail "Exit did not end the launcher"
check "exit code 0 after Exit" test "$(exit_codes)" = "0 "
check "exit logged" test "$(count_lines "$launcher_log" "launcher exiting")" = 3
echo "ok: autoplay and exit"
