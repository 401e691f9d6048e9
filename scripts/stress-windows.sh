#!/usr/bin/env bash
# Outside resizes and F11 presses on the disc image, build and menu screens of the real launcher,
# under each Wine (tests/e2e/stress_windows.sh); builds first.
#   scripts/stress-windows.sh [--wine 8|10] [resizes] [toggles] [screens]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
only=${VARNIS_WINE:-}
if [ "${1:-}" = "--wine" ]; then only=$2; shift 2; fi
unset VARNIS_WINE VARNIS_WINE_SELECTED
. "$root/scripts/env.sh"
wines=${only:-$(available_wines)}
bash "$root/scripts/build.sh" >/dev/null
rc=0
for w in $wines; do
  (
    select_wine "$w"
    . "$root/scripts/session.sh"
    session_traps
    start_session
    echo "== Wine $w =="
    bash "$root/tests/e2e/stress_windows.sh" "$BUILD_DIR" "$@"
  ) || rc=1
done
exit $rc
