#!/usr/bin/env bash
# Benchmark (figures, not a test), run by scripts/bench.sh inside its Wine session:
#   bench_build_screen.sh <build folder> [seconds measured, default 4]
# The build worker's throughput while the real launcher shows the build screen, next to a plain
# pipe reader of the same output (before and after, in the same run), and the build screen's
# frames per second (Wine's fps trace) and processor use over the same window.
. "$(dirname "$0")/common.sh" "$1"
window=${2:-4}

mkdir -p "$tools/python" "$tools/project/tools" "$data"
cp "$bin/standin/python.exe" "$tools/python/python.exe"
# About 3 GB of 80-byte lines: the build outlasts the measurement.
printf 'filler 40000000 0\n' > "$tools/project/tools/build_from_iso.py"
printf '1.0-bench\n' > "$tools/VERSION"
iso=$work/disc.iso
"$repo/demo/make-demo-iso.sh" "$iso"
printf 'iso=%s\npicture=0\nsaves=\nfullscreen=0\n' "$(winpath "$iso")" > "$data/settings.ini"
mkdir -p "$data/work"

mib() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1048576 }'; }

# The stand-in on the build's own command line, read by a bare 4 KiB loop; prints MiB/s.
plain_reader() {
  local out=$work/plain.txt
  # Separate arguments: Wine joins them into the command line that pipe_reader passes on.
  (cd "$work" && wine "$bin/pipe_reader.exe" "$window" "$VARNIS_TOOLS\\python\\python.exe" -u \
     "$VARNIS_TOOLS\\project\\tools\\build_from_iso.py" --iso "$(winpath "$iso")" \
     --work "$VARNIS_DATA\\work" --bundle "$VARNIS_TOOLS" </dev/null >"$out" 2>&1)
  read -r bytes seconds < <(tr -d '\r' < "$out")
  mib "$bytes" "$seconds"
}

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
file_bytes() { stat -c %s "$1" 2>/dev/null || echo 0; }
now() { date +%s.%N; }

plain_before=$(plain_reader)

(cd "$work" && WINEDEBUG=-all,+fps exec wine "$bin/Varnis.exe" </dev/null >"$work/launcher.out" 2>"$work/fps.txt") &
wait_log "$launcher_log" "build started: " 1 30 >/dev/null || fail "no build at start-up"
frame=$(wait_frame 30) || fail "no launcher window"
xdotool mousemove 0 0 2>/dev/null || true  # a pointer over the window adds timer wake-ups
wait_drawn 30 0.2 || fail "the build screen was never drawn"
pid=$(ps -eo pid=,args= | grep -F -- "$bin/Varnis.exe" | grep -v grep | awk '{ print $1; exit }')
[ -n "$pid" ] || fail "no launcher process"
build_log=$(ls "$data"/logs/build-*.log | head -n 1)
fps_lines=$(wc -l < "$work/fps.txt")
t0=$(now); b0=$(file_bytes "$build_log"); c0=$(cpu_ticks "$pid")
sleep "$window"
t1=$(now); b1=$(file_bytes "$build_log"); c1=$(cpu_ticks "$pid")
fps=$(tail -n +"$((fps_lines + 1))" "$work/fps.txt" | grep 'exec_present' | grep -o 'approx [0-9.]*fps' |
      awk '{ sub("fps", "", $2); s += $2; n++ } END { if (n) printf "%.1f", s / n; else print "n/a" }')
keys "$frame" alt+F4 || fail "could not press Alt+F4"
launcher_gone() { ! kill -0 "$pid" 2>/dev/null; }
wait_for 30 "the launcher process $pid ended" launcher_gone || fail "the launcher did not end"

plain_after=$(plain_reader)

elapsed=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
worker=$(mib "$((b1 - b0))" "$elapsed")
cpu=$(awk -v c="$((c1 - c0))" -v t="$(getconf CLK_TCK)" -v s="$elapsed" 'BEGIN { printf "%.0f", 100 * c / t / s }')
plain=$(awk -v a="$plain_before" -v b="$plain_after" 'BEGIN { printf "%.1f", (a + b) / 2 }')
ratio=$(awk -v w="$worker" -v p="$plain" 'BEGIN { printf "%.2f", w / p }')
echo "${window} s windows; plain reader before and after the launcher run"
printf 'plain pipe reader   %7s MiB/s   (%s, %s)\n' "$plain" "$plain_before" "$plain_after"
printf 'build worker        %7s MiB/s   while the build screen is shown\n' "$worker"
printf 'ratio               %7s         (goal at least 0.85)\n' "$ratio"
per_frame=$(awk -v c="$cpu" -v f="$fps" 'BEGIN { if (f > 0) printf "%.0f", 10 * c / f; else print "n/a" }')
printf 'build screen        %7s frames/s, launcher processor use %s %% of one core (%s ms a frame)\n' \
  "$fps" "$cpu" "$per_frame"
rm -rf "$work"
