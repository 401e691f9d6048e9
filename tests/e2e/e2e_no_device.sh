#!/usr/bin/env bash
# Without a Direct3D 11 device the launcher shows its error box and ends with exit code 1.
. "$(dirname "$0")/common.sh" "$1"

start_launcher Varnis_nodevice.exe
wait_log "$launcher_log" "D3D11 device creation failed: 0x80004005" || fail "no device line"
box=$(wait_frame 20) || fail "no error box"
shot "$shots/error-box.png"
keys "$box" Return || fail "could not press Return in the box"
wait_all_exited 20 || fail "launcher did not end after the box was closed"
check "exit code 1, got '$(exit_codes)'" test "$(exit_codes)" = "1 "
check "no exit line after a start-up failure" test "$(count_lines "$launcher_log" "launcher exiting")" = 0
check "the device line is the last line" sh -c "tail -n 1 '$launcher_log' | grep -q 'D3D11 device creation failed: 0x80004005$'"
echo "ok: error box, exit code 1"
