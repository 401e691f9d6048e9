#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test under each Wine: Wine 8 and then
# Wine 10 (one ctest run each, with its own prefix, Xvfb and wineserver).
#   scripts/test.sh [--wine 8|10] [ctest arguments], e.g. scripts/test.sh --wine 10 -R pipeline
# VARNIS_WINE=8|10 also picks one. Fails when any run failed; a failed run does not stop the next.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
only=${VARNIS_WINE:-}
if [ "${1:-}" = "--wine" ]; then only=${2:-}; shift 2 || { echo "--wine needs 8 or 10" >&2; exit 2; }; fi
unset VARNIS_WINE VARNIS_WINE_SELECTED
. "$root/scripts/env.sh"
fail_loudly
case $only in ""|8|10) ;; *) echo "test.sh: unknown Wine '$only' (8 or 10)" >&2; exit 2 ;; esac
# Which Wines there are is known only once setup has installed the system's own.
VARNIS_SETUP_WINES=$only bash "$root/scripts/build.sh"
doing "choosing the Wines to test under"
wines=$(available_wines)
if [ -n "$only" ]; then
  case " $wines " in *" $only "*) wines=$only ;; *) echo "test.sh: Wine $only is not available here (have: $wines)" >&2; exit 2 ;; esac
fi
doing "running the tests"
trap 'exit 130' INT
trap 'exit 143' TERM

# run_under <8|10> [ctest arguments]: one ctest run, framed by lines that name the Wine.
run_under() (
  # Called in an || list, where set -e does not hold: every step checks for itself.
  select_wine "$1" || exit 1
  shift
  . "$root/scripts/session.sh"
  session_traps
  start_session || exit 1
  version=$(wine --version 2>/dev/null | sed -n 's/^wine-\([^ ]*\).*/\1/p')
  echo "== Wine ${version:-$VARNIS_WINE} =="
  cd "$BUILD_DIR"
  rc=0
  # No second try: a test that fails once fails the run, and its output says what it waited for.
  ctest --output-on-failure --timeout 600 -j "$(nproc)" "$@" |
    tee "$summary.log" || rc=$?
  result="== Wine ${version:-$VARNIS_WINE}: $([ "$rc" = 0 ] && echo passed || echo FAILED) =="
  echo "$result"
  { echo "$result"; grep -E '^[0-9]+% tests passed|^No tests were found' "$summary.log" || echo "(no ctest summary)"; } > "$summary"
  exit "$rc"
)

# The summary lines of every run come again at the end, each under the name of its Wine.
failed=() summaries=()
for w in $wines; do
  summary=$BUILD_DIR/ctest-wine$w.txt
  rm -f "$summary"
  run_under "$w" "$@" || failed+=("$w")
  [ -f "$summary" ] || echo "== Wine $w: FAILED before ctest ran ==" > "$summary"
  summaries+=("$summary")
done
echo
for s in "${summaries[@]}"; do cat "$s" 2>/dev/null || true; done
[ ${#failed[@]} -eq 0 ] || exit 1
