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
