#!/usr/bin/env bash
# Makes a small stand-in disc image: the Xbox volume descriptor magic at 0x10000, nothing else.
# It is not a game and holds no game data; it only passes the launcher's disc image check.
# usage: demo/make-demo-iso.sh <out.iso>
set -euo pipefail
out=${1:?usage: make-demo-iso.sh <out.iso>}
mkdir -p "$(dirname "$out")"
: > "$out"
printf 'VARNIS DEMO DISC IMAGE - NOT A GAME. Made by demo/make-demo-iso.sh.\n' \
  | dd of="$out" conv=notrunc status=none
printf 'MICROSOFT*XBOX*MEDIA' | dd of="$out" bs=1 seek=$((0x10000)) conv=notrunc status=none
truncate -s 1M "$out"
