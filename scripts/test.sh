#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test under Wine (with a private Xvfb).
# Extra arguments go to ctest, e.g. scripts/test.sh -R pipeline
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/env.sh"
bash "$root/scripts/build.sh"
. "$root/scripts/session.sh"
start_session
trap stop_session EXIT
cd "$BUILD_DIR"
ctest --output-on-failure --timeout 600 -j "$(nproc)" "$@"
