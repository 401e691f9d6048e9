#!/usr/bin/env bash
# Checks a release ZIP as a player gets it: what it holds, what its programs are, their version
# block, what they import, and that no path of the build machine is inside.
# Usage: release_check.sh <zip> <source dir> <build dir> <Dear ImGui dir>
# Prints one "FAIL: ..." line per fault and ends with 1 when there was one.
set -uo pipefail
zip=$1 source_dir=$2 build_dir=$3 imgui_dir=$4
objdump=x86_64-w64-mingw32-objdump
windres=x86_64-w64-mingw32-windres
export LC_ALL=C TZ=UTC0

faults=0
fail() { echo "FAIL: $*"; faults=$((faults + 1)); }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

[[ $(basename "$zip") =~ ^Varnis-[0-9]+\.[0-9]+\.[0-9]+-win64\.zip$ ]] || fail "package name $(basename "$zip")"
unzip -q "$zip" -d "$tmp/pkg" || { echo "FAIL: cannot unpack $zip"; exit 1; }
pkg=$tmp/pkg

# Exactly the programs and their texts, in sorted order: no game data, no demo kit.
expected=$'README.txt\nTHIRD-PARTY-NOTICES.txt\nVarnis.exe\ntools/bin/arshim.exe\ntools/bin/arshim.txt'
entries=$(unzip -Z1 "$zip")
[ "$entries" = "$expected" ] || fail "entries are"$'\n'"$entries"$'\n'"instead of"$'\n'"$expected"

# Every entry has the time of the commit it was built from (a ZIP holds even seconds).
times=$(unzip -Z -T "$zip" | awk '$1 ~ /^[-d]/ { print $7 }' | sort -u)
[ "$(wc -l <<<"$times")" = 1 ] || fail "entries have different times: $(echo $times)"
if [ "$(git -C "$source_dir" rev-parse --show-toplevel 2>/dev/null)" = "$(realpath "$source_dir")" ] &&
   [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  commit=$(git -C "$source_dir" log -1 --format=%ct)
  stored=$(date -u -d "$(sed -E 's/^(....)(..)(..)\.(..)(..)(..)$/\1-\2-\3 \4:\5:\6/' <<<"$times")" +%s 2>/dev/null || echo 0)
  [ $((stored - commit)) -ge 0 ] && [ $((stored - commit)) -le 1 ] ||
    fail "entry time $times is not the commit's ($(date -u -d @"$commit" +%Y%m%d.%H%M%S))"
fi

# header <exe> <objdump -p field>: the field's value.
header() { "$objdump" -p "$1" | awk -v f="$2" '$1 == f { $1 = ""; sub(/^ +/, ""); print; exit }'; }

# DLLs that every 64-bit Windows 10 and 11 has in System32. The programs' own runtime (libstdc++,
# libgcc, winpthread) must not be imported: it is linked in, so no DLL can be missing beside them.
# msvcrt.dll is the system's own C runtime, which mingw-w64 links against (not a redistributable
# one); d3dcompiler_47.dll has been part of Windows since 8.1.
allowed=" kernel32.dll user32.dll gdi32.dll msvcrt.dll d3d11.dll dxgi.dll d3dcompiler_47.dll
          dwmapi.dll comdlg32.dll shell32.dll ole32.dll "

# program <exe> <subsystem number> <subsystem name>
program() {
  local exe=$pkg/$1 name=$1
  [ -f "$exe" ] || { fail "$name missing"; return; }
  "$objdump" -f "$exe" | grep -q '^architecture: i386:x86-64' || fail "$name: not x86-64"
  [ "$(header "$exe" Magic)" = "020b (PE32+)" ] || fail "$name: not a PE32+ image"
  local subsystem; subsystem=$(header "$exe" Subsystem)
  [ "$subsystem" = "0000000$2 ($3)" ] || fail "$name: subsystem '$subsystem', expected $3"
  local stamp; stamp=$(header "$exe" Time/Date)
  [ "$stamp" = "Thu Jan 1 00:00:00 1970" ] || fail "$name: link time '$stamp' in the header"
  local dll imports
  imports=$("$objdump" -p "$exe" | awk '/DLL Name:/ { print tolower($3) }')
  [ -n "$imports" ] || fail "$name: no imports read"
  for dll in $imports; do
    [[ $allowed == *" $dll"[[:space:]]* ]] || fail "$name imports $dll, which is not part of Windows"
  done
}
program Varnis.exe 2 "Windows GUI"
program tools/bin/arshim.exe 3 "Windows CUI"

# The version block: the launcher's only resource, with the names and version the system gives.
resources=$("$windres" -i "$pkg/Varnis.exe" -O rc 2>&1)
kinds=$(grep -o '/\* Type: [a-z0-9_]*' <<<"$resources" | sort -u | tr '\n' ' ')
[ "$kinds" = "/* Type: version " ] || fail "Varnis.exe resources: '$kinds', expected only a version block"
for value in '"FileDescription", "Varnis Recompilation launcher"' '"ProductName", "Varnis Recompilation"' \
             '"FileVersion", "0.1.0"' '"ProductVersion", "0.1.0"'; do
  grep -qxF "      VALUE $value" <<<"$resources" || fail "Varnis.exe version block lacks $value"
done

# No path of this build machine in any file (8-bit and UTF-16 text).
dirs=()
for d in "$source_dir" "$build_dir" "$imgui_dir"; do dirs+=("$d" "$(realpath "$d")"); done
for f in "$pkg"/*.* "$pkg"/tools/bin/*; do
  text=$( { strings -a -n 6 "$f"; strings -a -n 6 -e l "$f"; } )
  for d in "${dirs[@]}"; do
    grep -qF -- "$d" <<<"$text" && fail "${f#$pkg/} holds the build path $d"
  done
done

# Notices: the full licence texts from the files of the packages the programs were built from.
crlf_free() { tr -d '\r' < "$1"; }
notices=$(crlf_free "$pkg/THIRD-PARTY-NOTICES.txt")
for licence in "$imgui_dir/LICENSE.txt" /usr/share/doc/mingw-w64-x86-64-dev/copyright \
               /usr/share/common-licenses/GPL-3; do
  [ -s "$licence" ] || { fail "$licence is missing"; continue; }
  [[ $notices == *"$(crlf_free "$licence")"* ]] || fail "THIRD-PARTY-NOTICES.txt lacks the full text of $licence"
done
exception=$(sed -n '/^GCC RUNTIME LIBRARY EXCEPTION$/,/requirements of the license of GCC\.$/p' \
            /usr/share/doc/gcc-mingw-w64-base/copyright)
[ "$(wc -l <<<"$exception")" -gt 50 ] && [[ $notices == *"$exception"* ]] ||
  fail "THIRD-PARTY-NOTICES.txt lacks the GCC Runtime Library Exception"

# The player's README names what the player has to know.
readme=$(crlf_free "$pkg/README.txt")
for word in 'disc image' 'tools\python\python.exe' 'tools\project\tools\build_from_iso.py' 'tools\VERSION' \
            'tools\zig\zig.exe' VARNIS_TOOLS VARNIS_DATA VARNIS_AUTOPLAY '%LOCALAPPDATA%\VarnisRecomp' \
            settings.ini 'logs\launcher.log' F11 Alt+Enter; do
  [[ $readme == *"$word"* ]] || fail "README.txt does not mention $word"
done
[ -s "$pkg/tools/bin/arshim.txt" ] || fail "no text beside arshim.exe"

[ "$faults" = 0 ] || exit 1
echo "ok: $(basename "$zip")"
