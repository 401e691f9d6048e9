# Shared settings of the scripts; sourced, not run. Every value can be overridden from outside.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export IMGUI_DEB_VERSION=${IMGUI_DEB_VERSION:-1.90.1+ds-1}
export IMGUI_DIR=${IMGUI_DIR:-$root/.deps/imgui-1.90.1}
export WINEPREFIX=${WINEPREFIX:-$root/.cache/wine/prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export BUILD_DIR=${BUILD_DIR:-$root/build/release}
