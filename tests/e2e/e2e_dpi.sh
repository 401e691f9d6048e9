#!/usr/bin/env bash
# At 144 DPI (Wine's LogPixels) the launcher is DPI aware and scales by its window's DPI: the first
# client area is sized by the system DPI (720 x 1.5 = 1080, capped at 9/10 of the 1024-pixel work
# area: 921 high, 1228 wide), and the interface by the DPI Windows gives a per-monitor aware window
# there (the disc image screen's path row, at most 640 units, is 640 x DPI / 96 pixels wide). Wine 8
# gives such a window the system DPI; Wine 10 gives it the monitor's own (96 on Xvfb). Runs in its
# own copy of the prefix, so nothing else sees the changed DPI.
. "$(dirname "$0")/common.sh" "$1"

# Hard links for the unchanging bulk of the prefix; the registry files, which Wine rewrites, copied.
prefix=$work/prefix
cp -al "$WINEPREFIX" "$prefix"
for f in "$WINEPREFIX"/*.reg; do cp --remove-destination "$f" "$prefix/"; done
export WINEPREFIX=$prefix
stop_prefix_server() { "$VARNIS_WINE_RUN" --server -k >/dev/null 2>&1 || true; }
trap 'cleanup; stop_prefix_server' EXIT
"$VARNIS_WINE_RUN" --server -p </dev/null >/dev/null 2>&1 &
for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
  "$VARNIS_WINE_RUN" reg add "$key" /v LogPixels /t REG_DWORD /d 144 /f </dev/null >"$work/reg.txt" 2>&1 ||
    fail "cannot set LogPixels under $key: $(cat "$work/reg.txt")"
done

make_tools build_quick.txt
start_launcher
frame=$(wait_frame 30) || fail "no launcher window"
wait_drawn 30 || fail "the disc image screen was never drawn"
shot "$shots/disc-image-144dpi.png"
report=$(ask_windows frame) || fail "Windows shows no visible launcher frame"
check "client area 1228x921 at 144 DPI, got '$report'" test "$report" = "client 1228x921 child 1228x921"
dpi=$(ask_windows dpi) || fail "no DPI from Windows"
read -r _ system_dpi _ window_dpi <<<"$dpi"
echo "Windows reports: $dpi"
check "the system DPI is LogPixels, got '$dpi'" test "$system_dpi" = 144

# The widest line of the screen is the path row: its drawn width, measured from the picture (the
# top 24 rows left out: Wine 10's shot holds the title bar Wine draws without a window manager).
row_width() {
  convert "$1" -shave 4x4 -gravity North -chop 0x24 -fuzz 15% -trim -format '%w' info: 2>/dev/null
}
width=$(row_width "$shots/disc-image-144dpi.png")
expected=$(( 640 * window_dpi / 96 ))
echo "drawn content width: $width (expected $expected at a window DPI of $window_dpi)"
check "content drawn at scale $window_dpi/96: about $expected wide, got $width" \
  awk -v w="$width" -v e="$expected" 'BEGIN { exit !(w >= e - 10 && w <= e + 10) }'

keys "$frame" alt+F4 || fail "could not press Alt+F4"
wait_all_exited 30 || fail "the launcher did not end"
check "exit code 0, got '$(exit_codes)'" test "$(exit_codes)" = "0 "
echo "ok: 144 DPI"
