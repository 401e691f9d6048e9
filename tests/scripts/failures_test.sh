#!/usr/bin/env bash
# A machine where nothing of the project's needs is installed: no Wine, dpkg knows no package,
# and installing fails (no network). Every entry script must stop with a last line that names the
# step that failed and the command, and a non-zero exit code; sourcing env.sh alone must work.
#   failures_test.sh <source dir>
set -uo pipefail
src=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A PATH with every program of the machine except Wine's, then stand-ins that make the machine
# look empty: dpkg-query knows nothing, apt-get and debootstrap fail as they do offline.
bin=$tmp/bin
mkdir -p "$bin"
for d in /usr/local/bin /usr/bin /usr/sbin; do
  for f in "$d"/*; do
    case $(basename "$f") in wine*|dpkg-query|apt-get|debootstrap) continue ;; esac
    [ -e "$bin/$(basename "$f")" ] || ln -s "$f" "$bin/"
  done
done
printf '#!/bin/sh\nexit 1\n' > "$bin/dpkg-query"
printf '#!/bin/sh\necho "E: Could not resolve the mirror" >&2\nexit 100\n' > "$bin/apt-get"
printf '#!/bin/sh\necho "E: Failed getting release file" >&2\nexit 1\n' > "$bin/debootstrap"
chmod +x "$bin/dpkg-query" "$bin/apt-get" "$bin/debootstrap"
command -v wine >/dev/null && PATH=$bin command -v wine >/dev/null && fail "the stand-in PATH still has wine"

# run <label> <command...>: the command in a clean environment on that PATH, no input.
run() {
  local label=$1; shift
  env -i PATH="$bin" HOME="$tmp/home" VARNIS_FRESH_DIR="$tmp/fresh" \
      BUILD_DIR="$tmp/build" IMGUI_DIR="$tmp/imgui" VARNIS_USERLAND="$tmp/userland" \
      "$@" </dev/null >"$tmp/$label.out" 2>&1
}

# Sourcing env.sh before setup: it must not need Wine, and it names Wine 10 as the one to make.
run env bash -c "set -euo pipefail; . '$src/scripts/env.sh'; echo \"wines: \$(available_wines)\""
rc=$?
[ "$rc" = 0 ] || fail "env.sh without Wine: exit $rc: $(tail -n 3 "$tmp/env.out")"
grep -qx 'wines: 10' "$tmp/env.out" || fail "env.sh without Wine: $(cat "$tmp/env.out")"

# <label>|<command>|<script named in the last line>|<text of the step in the last line>|<command in it>
cases=(
  "test|bash $src/scripts/test.sh|setup.sh|installing Debian packages|apt-get update"
  "test-wine8|bash $src/scripts/test.sh --wine 8|setup.sh|installing Debian packages|apt-get update"
  "demo|bash $src/scripts/demo.sh|setup.sh|installing Debian packages|apt-get update"
  "fresh|bash $src/scripts/check-fresh-machine.sh|check-fresh-machine.sh|making a fresh Debian 12 system|debootstrap"
)
for c in "${cases[@]}"; do
  IFS='|' read -r label command script step what <<<"$c"
  # shellcheck disable=SC2086
  run "$label" $command
  rc=$?
  last=$(tail -n 1 "$tmp/$label.out")
  [ "$rc" != 0 ] || fail "$label: exit code 0 on a failed step"
  [ "$rc" != 127 ] || grep -q "FAILED while" "$tmp/$label.out" || fail "$label: stopped silently with 127"
  case $last in
    "$script: FAILED while $step"*"$what"*"' exited with "*) echo "ok: $label: $last" ;;
    *) fail "$label: exit $rc, last line: '$last'"; sed 's/^/  | /' "$tmp/$label.out" | tail -n 8 ;;
  esac
done
[ ! -e "$tmp/fresh" ] || fail "fresh: the half-made system was left in place"

[ "$failures" = 0 ] || { echo "$failures failed"; exit 1; }
echo "all script failure cases passed"
