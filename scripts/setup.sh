#!/usr/bin/env bash
# Prepares a Debian 12 machine to build and test the launcher. Idempotent, needs no input.
#   - Debian packages (cross compiler, Wine, Xvfb, xdotool, GoogleTest, ...)
#   - Dear ImGui sources from Debian's registry into .deps/ (never committed)
#   - a private Wine prefix (crash dialog off, test fonts in C:\windows\Fonts)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/env.sh"

packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools ninja-build cmake ccache
          wine wine64 xvfb xauth xdotool x11-utils imagemagick fonts-wine fonts-dejavu-core
          libgl1-mesa-dri libglx-mesa0 googletest xz-utils ca-certificates dpkg-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q </dev/null
  apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
fi

# Dear ImGui from Debian's source package, checked by apt against the signed index.
if [ ! -f "$IMGUI_DIR/imgui.h" ]; then
  echo "setup: fetching Dear ImGui $IMGUI_DEB_VERSION"
  tmp=$(mktemp -d)
  mkdir -p "$tmp/lists/partial" "$tmp/dl"
  echo 'deb-src http://deb.debian.org/debian trixie main' > "$tmp/sources.list"
  o=(-o "Dir::Etc::SourceList=$tmp/sources.list" -o Dir::Etc::SourceParts=/dev/null
     -o "Dir::State::Lists=$tmp/lists")
  apt-get "${o[@]}" update -q </dev/null
  (cd "$tmp/dl" && apt-get "${o[@]}" source --download-only "imgui=$IMGUI_DEB_VERSION" </dev/null)
  mkdir -p "$root/.deps"
  rm -rf "$IMGUI_DIR"
  tar -C "$root/.deps" -xJf "$tmp"/dl/imgui_*.orig.tar.xz
  [ -f "$IMGUI_DIR/imgui.h" ] || { echo "setup: Dear ImGui not found at $IMGUI_DIR" >&2; exit 1; }
  rm -rf "$tmp"
fi

# Private Wine prefix.
if [ ! -f "$WINEPREFIX/.varnis-ready" ]; then
  echo "setup: creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i </dev/null >"$WINEPREFIX/../wineboot.log" 2>&1 || true
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >>"$WINEPREFIX/../wineboot.log" 2>&1
  wineserver -w || true
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$fonts/"
  touch "$WINEPREFIX/.varnis-ready"
fi
echo "setup: ready (ImGui $IMGUI_DIR, Wine prefix $WINEPREFIX)"
