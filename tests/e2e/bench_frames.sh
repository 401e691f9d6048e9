#!/usr/bin/env bash
# Benchmark (figures, not a test), run by scripts/bench.sh inside its Wine session:
#   bench_frames.sh <build folder> <exe> <screen> [seconds, default 6]
# One screen of the launcher <exe> (a program in the build's bin folder: Varnis.exe, or an older
# build's copied beside it for a before/after comparison) left alone: frames per second (Wine's fps trace of the swap chain's
# presents: each line gives the rate since the line before; the mean of the lines in the window), the launcher's processor time (all threads, /proc) and the main thread's voluntary
# context switches per second (each wake-up is one; so is each wineserver call, so it is an upper
# bound on wake-ups). Screens: iso (focus in the path field), build (a script that prints nothing),
# build-flood (a script that prints as fast as it can), splash, minimised (the splash menu minimised).
. "$(dirname "$0")/common.sh" "$1"
exe=$bin/$2
screen=$3
window=${4:-6}

make_tools build_quick.txt
iso=$work/disc.iso
"$repo/demo/make-demo-iso.sh" "$iso"
winiso=$(winpath "$iso")
mkdir -p "$data/work"
case $screen in
  iso) ;;
  build|build-flood)
    printf 'iso=%s\npicture=0\nsaves=\nfullscreen=0\n' "$winiso" > "$data/settings.ini"
    if [ "$screen" = build ]; then
      printf 'out STAGE lift Recompile the game code\nout PROGRESS 42 function 1\nsleep 600000\n'
    else
      printf 'filler 40000000 0\n'
    fi > "$tools/project/tools/build_from_iso.py" ;;
  splash|minimised)
    printf 'iso=%s\npicture=0\nsaves=\nfullscreen=0\n' "$winiso" > "$data/settings.ini"
    mkdir -p "$data/work/build"
    printf 'iso=%s\nversion=1.0-e2e\n' "$winiso" > "$data/work/ready.txt"
    cp "$bin/fixture_game_good.dll" "$data/work/build/varnis_game.dll" ;;
  *) fail "unknown screen $screen" ;;
esac

# Wine's fps trace needs WINEDEBUG as given here, which wine-run would set back to -all: the
# system's Wine is started directly (Wine 10 in its userland runs without the trace: no frames).
start() {
  if [ -z "$VARNIS_WINE_CHROOT" ]; then WINEDEBUG=-all,+fps exec /usr/bin/wine "$exe"; fi
  exec "$VARNIS_WINE_RUN" "$exe"
}
(cd "$work" && start </dev/null >"$work/launcher.out" 2>"$work/fps.txt") &
frame=$(wait_frame 30) || fail "no launcher window"
xdotool mousemove 0 0 2>/dev/null || true  # a pointer over the window adds timer wake-ups
[ "$screen" != minimised ] || "$VARNIS_WINE_RUN" "$bin/window_tool.exe" minimize </dev/null >/dev/null 2>&1
sleep 3
# The launcher itself (Wine shows its command line as the program's path), not the starters.
pid=$(ps -eo pid=,args= | awk -v e="$exe" -v w="$(winpath "$exe")" '$2 == e || $2 == w { print $1; exit }')
[ -n "$pid" ] || fail "no launcher process"
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo 0; }
switches() { awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$pid/task/$pid/status" 2>/dev/null || echo 0; }
now() { date +%s.%N; }
fps_lines=$(wc -l < "$work/fps.txt")
t0=$(now); c0=$(cpu_ticks); s0=$(switches)
sleep "$window"
t1=$(now); c1=$(cpu_ticks); s1=$(switches)
elapsed=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
fps=$(tail -n +"$((fps_lines + 1))" "$work/fps.txt" | { grep -ao 'approx [0-9.]*fps' || true; } |
      awk '{ sub("fps", "", $2); s += $2; n++ } END { if (n) printf "%.1f", s / n; else print "0" }')
cpu=$(awk -v c="$((c1 - c0))" -v t="$(getconf CLK_TCK)" -v s="$elapsed" 'BEGIN { printf "%.1f", 100 * c / t / s }')
wakes=$(awk -v n="$((s1 - s0))" -v s="$elapsed" 'BEGIN { printf "%.1f", n / s }')
per_frame=$(awk -v c="$cpu" -v f="$fps" 'BEGIN { if (f > 0) printf "%.0f", 10 * c / f; else print "-" }')
printf '%-12s %6s frames/s  %6s %% of a core  %5s ms a frame  %7s main-thread switches/s  (%s)\n' \
  "$screen" "$fps" "$cpu" "$per_frame" "$wakes" "$(basename "$exe")"
[ "$screen" != minimised ] || "$VARNIS_WINE_RUN" "$bin/window_tool.exe" restore </dev/null >/dev/null 2>&1
keys "$frame" alt+F4
sleep 2
kill "$pid" 2>/dev/null || true
[ -n "${VARNIS_BENCH_KEEP:-}" ] || rm -rf "$work"
