#!/usr/bin/env bash
# The release ZIP as a player uses it: unpacked into a folder whose name has a space, with the
# demo tools put into its own tools folder (no VARNIS_TOOLS), it walks the demo road: disc image,
# build, relaunch, menu, game, closing the window. Its arshim finds zig.exe in that tools folder.
. "$(dirname "$0")/common.sh" "$1"

zip=$(ls -t "$build"/Varnis-*-win64.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || fail "no release ZIP in $build"
version=${zip##*/Varnis-}
version=${version%-win64.zip}
pkg="$work/Varnis Recompilation"
unzip -q "$zip" -d "$pkg" || fail "cannot unpack $zip"

# The demo kit where a player puts the recompiler tools: beside what the ZIP brought.
unset VARNIS_TOOLS
tools=$pkg/tools
wintools=$(winpath "$tools")
mkdir -p "$tools/python" "$tools/project/tools" "$tools/game" "$tools/zig"
cp "$bin/standin/python.exe" "$tools/python/python.exe"
cp "$repo/demo/tools/project/tools/build_from_iso.py" "$tools/project/tools/"
cp "$repo/demo/tools/VERSION" "$tools/VERSION"
cp "$bin/demo/varnis_game.dll" "$tools/game/varnis_game.dll"
cp "$bin/zig_fixture.exe" "$tools/zig/zig.exe"

# The shim, started as a build system would, runs tools\zig\zig.exe and passes on its exit code.
code=0
(cd "$work" && ZIG_FIXTURE_EXIT=7 exec "$VARNIS_WINE_RUN" "$tools/bin/arshim.exe" libdemo.a </dev/null >"$work/arshim-out.txt" 2>&1) || code=$?
check "arshim ends with zig's exit code 7, got $code" test "$code" = 7
check "arshim runs tools\\zig\\zig.exe ranlib" \
  grep -qxF "\"$wintools\\zig\\zig.exe\" ranlib libdemo.a" "$tools/zig/command-line.txt"

iso="$work/Varnis Demo (USA).iso"
"$repo/demo/make-demo-iso.sh" "$iso"
winiso=$(winpath "$iso")

# The package folder is the current folder, as when a player double-clicks Varnis.exe.
(cd "$pkg" && exec "$VARNIS_WINE_RUN" "$bin/e2e_tool.exe" watch 150000 Varnis.exe "$(winpath "$pkg/Varnis.exe")" \
   </dev/null >"$watch_out" 2>&1) &
watch_pid=$!
frame=$(wait_frame 30) || fail "no launcher window"
wait_log "$launcher_log" "Varnis launcher $version; tools $wintools; data $VARNIS_DATA" ||
  fail "the launcher's version or tools folder is not the package's"
wait_drawn 30 || fail "the disc image screen was never drawn"
shot "$shots/1-disc-image.png"

keys "$frame" Tab || fail "no focus for the path field"
type_text "$frame" "$winiso" || fail "could not type the path"
keys "$frame" Tab Tab space || fail "could not press Continue"
wait_log "$launcher_log" "disc image chosen: $winiso" 1 90 || fail "the disc image was not accepted"
wait_log "$launcher_log" "build started: \"$wintools\\python\\python.exe\" -u" || fail "no build"
shot "$shots/2-build.png"
wait_log "$launcher_log" "build finished: exit 0, done" 1 60 || fail "the demo build did not finish"
wait_log "$launcher_log" "restarting"
wait_log "$launcher_log" "game prepared; log " 1 30 || fail "the relaunched launcher did not bind the built game"

frame=$(launch_frame 2) || fail "no window after the relaunch"
wait_drawn 30 0.2 || fail "the menu was never drawn"
shot "$shots/3-menu.png"
keys "$frame" Return || fail "could not press Return"
wait_log "$launcher_log" "game started" 1 20 || fail "the game did not start"
has_game_log() { compgen -G "$data/logs/game-*.log" >/dev/null; }
wait_for 20 "a game log in $data/logs" has_game_log || fail "the game wrote no log"
game_log=$(ls "$data"/logs/game-*.log | head -n 1)
wait_log "$game_log" "demo game running" 1 20 || fail "the demo game did not run"
wait_drawn 20 0.2 || fail "the game drew nothing"
shot "$shots/4-game.png"

keys "$frame" alt+F4 || fail "could not press Alt+F4"
wait_all_exited 30 || fail "the launcher did not end"
check "exit code 0 for both launches, got '$(exit_codes)'" test "$(exit_codes)" = "0 "
check "two launches" test "$(process_count)" = 2
check "nothing written beside the programs" test -z "$(cd "$pkg" && find . -maxdepth 1 -newer Varnis.exe ! -name . ! -name tools)"
check "no imgui.ini in the current, data or program folder: $(find "$pkg" "$data" "$work" -name imgui.ini)" \
  test -z "$(find "$pkg" "$data" "$work" -iname imgui.ini)"
echo "ok: the release package walks the demo road"
