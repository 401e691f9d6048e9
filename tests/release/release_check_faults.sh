#!/usr/bin/env bash
# The release check must catch a faulty package: each case spoils one thing in a copy of the
# built ZIP, and the check must fail and name that fault. An unspoiled copy must pass.
# Usage: release_check_faults.sh <zip> <source dir> <build dir> <Dear ImGui dir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
zip=$1 source_dir=$2
shift 2
export LC_ALL=C TZ=UTC0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# bytes <perl substitution> <file>: edits a binary in place.
bytes() { perl -0777 -pi -e "$1" "$2"; }
# u16 <text>: a pattern for the text in UTF-16 (as the version block holds it).
u16() { perl -e 'print join("\\x00", map { quotemeta } split(//, $ARGV[0])), "\\x00"' "$1"; }

# The PE header's link time at e_lfanew + 8.
stamp_header() {
  perl -e 'open(my $f, "+<:raw", $ARGV[0]) or die; read($f, my $h, 64); my $pe = unpack("V", substr($h, 60, 4));
           seek($f, $pe + 8, 0); print $f pack("V", 1700000000); close $f' "$1"
}

cases=(
  "unspoiled||true"
  "launcher is a console program|Varnis.exe: subsystem|cp tools/bin/arshim.exe Varnis.exe"
  "file description in other letters|lacks \"FileDescription\"|bytes 's/$(u16 'Recompilation launcher')/$(u16 'Recompilation Launcher')/' Varnis.exe"
  "file version 0.1.1|lacks \"FileVersion\"|bytes 's/$(u16 '0.1.0')/$(u16 '0.1.1')/' Varnis.exe"
  "a DLL that Windows lacks|imports zlib_1.dll|bytes 's/dwmapi\\.dll/zlib_1.dll/' Varnis.exe"
  "a link time in the header|tools/bin/arshim.exe: link time|stamp_header tools/bin/arshim.exe"
  "a build path inside|tools/bin/arshim.exe holds the build path|printf '%s/shim/arshim.cpp' \"\$source_dir\" >> tools/bin/arshim.exe"
  "the demo game inside|entries are|mkdir -p tools/game && cp tools/bin/arshim.txt tools/game/varnis_game.dll"
  "Dear ImGui's licence cut short|lacks the full text of|bytes 's/(Permission is hereby granted.*?)copies of the Software/\$1/s' THIRD-PARTY-NOTICES.txt"
)

failed=0
n=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name expected spoil <<<"$entry"
  n=$((n + 1))
  copy=$tmp/$n
  unzip -q "$zip" -d "$copy"
  touch -r "$copy/Varnis.exe" "$tmp/time.$n"
  (cd "$copy" && eval "$spoil") || { echo "FAIL: $name: could not spoil the copy"; failed=1; continue; }
  (cd "$copy" && find . -type f -exec touch -r "$tmp/time.$n" {} + &&
     find . -type f | sed 's|^\./||' | sort | zip -X -D -q "$tmp/$n/../Varnis-0.0.$n-win64.zip" -@)
  out=$(bash "$here/release_check.sh" "$tmp/Varnis-0.0.$n-win64.zip" "$source_dir" "$@" 2>&1)
  rc=$?
  if [ -z "$expected" ]; then
    [ "$rc" = 0 ] || { echo "FAIL: $name: the check failed:"; echo "$out"; failed=1; }
  elif [ "$rc" = 0 ] || ! grep -qF -- "$expected" <<<"$out"; then
    echo "FAIL: $name: expected a fault naming '$expected', got (exit $rc):"; echo "$out"; failed=1
  fi
done
[ "$failed" = 0 ] && echo "ok: the release check caught all $((n - 1)) spoiled packages"
exit "$failed"
