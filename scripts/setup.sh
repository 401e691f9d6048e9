#!/usr/bin/env bash
# Prepares a Debian 12 machine to build and test the launcher. Idempotent, needs no input.
#   - Debian packages (cross compiler, Wine, Xvfb, xdotool, GoogleTest, ...)
#   - Dear ImGui sources from Debian's registry into .deps/ (never committed)
#   - Wine 10 in a Debian 13 userland under .cache/ when the system's Wine is older (needs root,
#     about 1.8 GB; made once)
#   - a private Wine prefix for each Wine (crash dialog off, test fonts in C:\windows\Fonts)
# VARNIS_SETUP_WINES="8 10" (default: every Wine this machine can run) limits what is prepared.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/env.sh"
. "$root/scripts/userland.sh"
fail_loudly

packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools ninja-build cmake ccache
          wine wine64 xvfb xauth xdotool x11-utils imagemagick fonts-wine fonts-dejavu-core
          libgl1-mesa-dri libglx-mesa0 googletest xz-utils ca-certificates dpkg-dev zip unzip git)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
doing "installing Debian packages (network and the apt configuration must work)"
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q </dev/null
  apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
fi

# Dear ImGui from Debian's source package, checked by apt against the signed index.
doing "fetching Dear ImGui's sources into $IMGUI_DIR"
if [ ! -f "$IMGUI_DIR/imgui.h" ]; then
  echo "setup: fetching Dear ImGui $IMGUI_DEB_VERSION"
  tmp=$(mktemp -d)
  mkdir -p "$tmp/lists/partial" "$tmp/dl"
  mirror=$(apt_mirror)
  echo "deb-src $mirror trixie main" > "$tmp/sources.list"
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

# prepare_prefix: the selected Wine's private prefix, made once.
prepare_prefix() {
  [ ! -f "$WINEPREFIX/.varnis-ready" ] || return 0
  echo "setup: creating the Wine $VARNIS_WINE prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  local log=$WINEPREFIX/../wineboot.log
  wineboot -i </dev/null >"$log" 2>&1 || true
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >>"$log" 2>&1
  wineserver -w </dev/null >>"$log" 2>&1 || true
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$fonts/"
  touch "$WINEPREFIX/.varnis-ready"
}

for w in ${VARNIS_SETUP_WINES:-$(available_wines)}; do
  case " $(available_wines) " in *" $w "*) ;; *) echo "setup: no Wine $w on this machine; not prepared"; continue ;; esac
  doing "preparing Wine $w (userland and prefix)"
  (
    select_wine "$w"
    if [ -n "$VARNIS_WINE_CHROOT" ]; then
      make_userland
      trap userland_unmount EXIT
      trap 'exit 130' INT
      trap 'exit 143' TERM
      userland_mount
    fi
    prepare_prefix
  )
done
echo "setup: ready (ImGui $IMGUI_DIR; Wine $(available_wines | sed 's/ / and /'))"
