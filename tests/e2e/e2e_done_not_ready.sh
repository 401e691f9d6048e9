#!/usr/bin/env bash
# A build script that says it is done but leaves no ready marker: the launcher does not relaunch
# (the fresh launcher would only build again), it shows the failure with what is missing, and
# "Try again" runs the build once more, again without a relaunch.
. "$(dirname "$0")/common.sh" "$1"

missing="The build reported success but left no ready marker (ready.txt) in the work folder."

make_tools build_done_unready.txt
iso=$work/disc.iso
"$repo/demo/make-demo-iso.sh" "$iso"
winiso=$(winpath "$iso")
mkdir -p "$data"
printf 'iso=%s\npicture=0\nsaves=\nfullscreen=0\n' "$winiso" > "$data/settings.ini"

start_launcher
wait_log "$launcher_log" "build started: " 1 30 || fail "no build at start-up"
wait_log "$launcher_log" "build: $missing" 1 30 || fail "the missing ready marker was not reported"
wait_log "$launcher_log" "build finished: exit 0, failed" 1 30 || fail "the build did not end as failed"
frame=$(wait_frame 20) || fail "no launcher window"
sleep 3   # time enough for a relaunch and a second build, were there one
shot "$shots/failure-view.png"
check_visible failure-view
check "one build started, got $(count_lines "$launcher_log" "build started: ")" \
  test "$(count_lines "$launcher_log" "build started: ")" = 1
check "no relaunch" test "$(count_lines "$launcher_log" "restarting")" = 0
check "the launcher still runs" test "$(process_count)" = 0

# "Try again" has no focus yet: Tab reaches it first.
keys "$frame" Tab space
wait_log "$launcher_log" "build started: " 2 30 || fail "Try again did not start a build"
wait_log "$launcher_log" "build: $missing" 2 30 || fail "the second build's failure was not reported"
sleep 3
check "two builds started" test "$(count_lines "$launcher_log" "build started: ")" = 2
check "still no relaunch" test "$(count_lines "$launcher_log" "restarting")" = 0
check "two build logs" test "$(ls "$data"/logs/build-*.log | wc -l)" = 2
keys "$frame" alt+F4
wait_all_exited 30 || fail "the launcher did not end"
check "exit code 0, got '$(exit_codes)'" test "$(exit_codes)" = "0 "
check "one launch" test "$(process_count)" = 1
echo "ok: done without a ready marker"
