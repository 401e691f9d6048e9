#!/usr/bin/env bash
# Runs the benchmarks (they print figures; they are not tests). Builds first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/env.sh"
bash "$root/scripts/build.sh" >/dev/null
. "$root/scripts/session.sh"
start_session
trap stop_session EXIT
cd "$BUILD_DIR/bin"
for b in pipeline_bench screen_bench splash_bench; do
  if [ -f "$b.exe" ]; then
    echo "== $b"
    wine "./$b.exe" </dev/null 2>&1 | tr -d '\r'
  fi
done

# --- Output worker: one line without an end ---
# Peak memory and throughput of the build worker for 512 MiB of output without any line feed,
# next to the same bytes as ordinary lines; each build in a fresh process (about a minute).
if [ -f pipeline_bench.exe ]; then
  echo "== pipeline_bench --endless"
  wine ./pipeline_bench.exe --endless 512 </dev/null 2>&1 | tr -d '\r'
fi
# --- end of the output worker block ---

# ---- Build screen end to end: the real launcher under Wine and Xvfb --------------------------
# The build worker's throughput while the build screen is shown, against a plain pipe reader of
# the same output, and the screen's frames per second and processor use.
echo "== build screen (end to end)"
bash "$root/tests/e2e/bench_build_screen.sh" "$BUILD_DIR" 2>&1 | grep -v '^  |' || true
