#!/usr/bin/env bash
# A launch with full screen saved in settings.ini draws the same centred picture, at the child's
# full size, as a windowed launch switched to full screen with F11.
. "$(dirname "$0")/common.sh" "$1"

make_tools build_quick.txt
mkdir -p "$data"

# picture_of <file>: the launcher's picture once it shows the disc image screen.
picture_of() {
  frame=$(wait_frame 30) || fail "no launcher window"
  wait_drawn 30 || fail "nothing was drawn"
  shot "$1"
}
# Middle of the drawn content (everything unlike the background, edges left out), as "x y".
content_centre() {
  convert "$1" -shave 4x4 -fuzz 15% -trim -format '%X %Y %w %h' info: |
    awk '{ print int($1) + 4 + $3 / 2, int($2) + 4 + $4 / 2 }'
}
# child_fills_screen: the child's picture window is 1280 x 1024 letterboxed to 4:3. (Where Wine
# shows the picture on the frame itself there is no such window, and the pictures below cover it.)
child_fills_screen() {
  local id; id=$(picture_window)
  [ -z "$id" ] || test "$(geometry "$id")" = "1280x960"
}

printf 'iso=\npicture=0\nsaves=\nfullscreen=1\n' > "$data/settings.ini"
start_launcher
picture_of "$shots/1-fullscreen-start.png"
check "the frame covers the screen" test "$(geometry "$frame")" = "1280x1024"
check "the child fills it at 4:3" child_fills_screen
keys "$frame" alt+F4 || fail "could not press Alt+F4"
wait_all_exited 30 || fail "the first launch did not end"

printf 'iso=\npicture=0\nsaves=\nfullscreen=0\n' > "$data/settings.ini"
start_launcher
picture_of "$shots/2-windowed.png"
keys "$frame" F11 || fail "could not press F11"
wait_for 10 "fullscreen=1 in settings.ini" grep -qx "fullscreen=1" "$data/settings.ini" || fail "F11 did not switch"
wait_for 10 "the frame at 1280x1024" test_geometry "$frame" 1280x1024 || fail "F11 did not resize the frame ($(geometry "$frame"))"
wait_drawn 30 || fail "nothing was drawn after F11"
shot "$shots/3-after-F11.png"
check "the child fills the screen at 4:3 after F11" child_fills_screen
keys "$frame" alt+F4 || fail "could not press Alt+F4"
wait_all_exited 30 || fail "the second launch did not end"

start_pic=$shots/1-fullscreen-start.png
f11_pic=$shots/3-after-F11.png
read -r cx cy < <(content_centre "$start_pic")
echo "content centre of the full-screen start: $cx $cy"
check "content centred across the picture ($cx)" awk -v x="$cx" 'BEGIN { exit !(x > 620 && x < 660) }'
difference=$(compare -metric RMSE "$start_pic" "$f11_pic" null: 2>&1 | sed 's/.*(\(.*\))/\1/') || true
echo "difference from the F11 picture: $difference"
check "the same picture as after F11 ($difference)" awk -v d="$difference" 'BEGIN { exit !(d < 0.02) }'
check "exit code 0, got '$(exit_codes)'" test "$(exit_codes)" = "0 "
echo "ok: full-screen start"
