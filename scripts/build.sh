#!/usr/bin/env bash
# Configures and builds both programs, the demo kit and the tests (after setup).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/env.sh"
fail_loudly
bash "$root/scripts/setup.sh"
cd "$root"
doing "configuring the build in $BUILD_DIR"
cmake --preset release -DIMGUI_DIR="$IMGUI_DIR" -B "$BUILD_DIR" >/dev/null
doing "building"
cmake --build "$BUILD_DIR" -j "$(nproc)"
