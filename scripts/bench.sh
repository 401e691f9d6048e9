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

# ---- Build screen end to end: the real launcher under Wine and Xvfb --------------------------
# The build worker's throughput while the build screen is shown, against a plain pipe reader of
# the same output, and the screen's frames per second and processor use.
echo "== build screen (end to end)"
bash "$root/tests/e2e/bench_build_screen.sh" "$BUILD_DIR" 2>&1 | grep -v '^  |' || true
