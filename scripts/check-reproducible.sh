#!/usr/bin/env bash
# Checks that the release ZIP is reproducible: builds it twice from the committed HEAD, in two
# fresh clones in different folders (each with its own copy of Dear ImGui), one after the other,
# with different time zones and umasks and without ccache, and compares the ZIPs byte for byte.
# Uncommitted changes are in neither build. Takes a few minutes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/env.sh"
bash "$root/scripts/setup.sh" >/dev/null
commit=$(git -C "$root" rev-parse HEAD)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# build_in <folder> <TZ> <umask>: the package of $commit built in a fresh clone there.
build_in() {
  local dir=$1
  echo "check-reproducible: building $commit in $dir (TZ=$2, umask $3)"
  git clone -q --no-checkout "$root" "$dir/src"
  git -C "$dir/src" checkout -q --detach "$commit"
  mkdir -p "$dir/src/.deps"
  cp -r "$IMGUI_DIR" "$dir/src/.deps/"
  (
    cd "$dir/src"
    export TZ=$2 CCACHE_DISABLE=1
    umask "$3"
    unset IMGUI_DIR SOURCE_DATE_EPOCH
    cmake --preset release -B "$dir/build" -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$dir/build" --target package >/dev/null
  )
}

build_in "$tmp/a" UTC0 022
sleep 2   # a later second, whatever the machine's speed
build_in "$tmp/second build" XST-14 027
one=$(ls "$tmp"/a/build/Varnis-*-win64.zip)
two=$(ls "$tmp/second build"/build/Varnis-*-win64.zip)
sha256sum "$one" "$two"
if ! cmp "$one" "$two"; then
  mkdir "$tmp/one" "$tmp/two"
  unzip -q "$one" -d "$tmp/one"
  unzip -q "$two" -d "$tmp/two"
  diff -r "$tmp/one" "$tmp/two" || true
  echo "check-reproducible: FAILED: the two builds differ" >&2
  exit 1
fi
echo "check-reproducible: ok, $(basename "$one") is the same in both builds"
