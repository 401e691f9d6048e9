#!/usr/bin/env bash
# Proves the README's quick start on a machine where nothing is installed yet: makes a fresh
# Debian 12 system with debootstrap (the default variant, as a fresh install has), copies a clean
# clone of HEAD into it and runs the README's two commands there, as root, with no input and a
# clean environment. Prints each command's exit code and wall time, the ctest summary of each
# Wine and how many pictures the demo wrote; fails when either command failed.
#   scripts/check-fresh-machine.sh [--keep]   --keep leaves the system in place afterwards
# VARNIS_FRESH_DIR names the folder (default .cache/fresh-bookworm). Needs root and about 8 GB.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/env.sh"
. "$root/scripts/userland.sh"
fail_loudly

keep=0
[ "${1:-}" = "--keep" ] && keep=1
target=${VARNIS_FRESH_DIR:-$root/.cache/fresh-bookworm}
target=$(realpath -m "$target")
repo=/root/varnis   # where the clone lives inside

[ "$(id -u)" = 0 ] || { echo "check-fresh-machine.sh: needs root (debootstrap, chroot, mount)" >&2; exit 1; }

# Mount points at or below the system, innermost first: ours and any a script inside left behind.
mounts_below() {
  awk -v d="$target/" 'index($5 "/", d) == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

# Ends every process whose root is inside the system (the commands, Wine, Xvfb), so that its
# mounts can go.
end_processes_inside() {
  local sig pid r
  for sig in TERM KILL; do
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
      r=$(readlink "/proc/$pid/root" 2>/dev/null) || continue
      case "$r/" in "$target/"*) kill -s "$sig" "$pid" 2>/dev/null || true ;; esac
    done
    [ "$sig" = KILL ] || sleep 2
  done
}

# Ends what runs inside and undoes every mount, innermost first; true when none is left.
release_system() {
  end_processes_inside
  local m
  for m in $(mounts_below); do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
  done
  [ -z "$(mounts_below)" ]
}

cleanup() {
  local rc=$?
  trap - EXIT INT TERM HUP ERR
  [ -d "$target" ] || exit "$rc"
  if ! release_system; then
    echo "check-fresh-machine.sh: mounts remain under $target; it was not removed:" >&2
    mounts_below >&2
    exit 1
  fi
  if [ "$keep" = 0 ]; then
    rm -rf --one-file-system "$target"
  else
    echo "check: the system is kept in $target"
  fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

doing "making a fresh Debian 12 system in $target"
command -v debootstrap >/dev/null || {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap </dev/null
}
[ -z "$(mounts_below)" ] || { echo "check-fresh-machine.sh: mounts remain under $target from an earlier run" >&2; exit 1; }
rm -rf --one-file-system "$target"
mkdir -p "$(dirname "$target")"
mirror=$(apt_mirror)
start=$(date +%s)
logged "$target.log" debootstrap bookworm "$target" "$mirror"
echo "check: Debian 12 made in $(( $(date +%s) - start )) s from $mirror"

doing "copying a clean clone of HEAD into the system"
git clone -q --no-hardlinks "$root" "$target$repo"
echo "check: clone of $(git -C "$target$repo" rev-parse --short HEAD) in $repo"

doing "binding /proc, /sys, /dev and /dev/pts into the system"
for p in /proc /sys /dev /dev/pts; do
  mkdir -p "$target$p"
  mount --bind "$p" "$target$p"
done

# run_inside <label> <command>: one README command, as root, no input, a clean environment.
results=()
failed=0
run_inside() {
  local label=$1 command=$2 t0 rc=0
  echo "check: running '$command' in the fresh system (output in $target.$label.log)"
  t0=$(date +%s)
  env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 chroot "$target" /bin/bash -c "cd $repo && $command" \
    </dev/null >"$target.$label.log" 2>&1 || rc=$?
  results+=("$(printf '%-24s exit %s, %s s' "$command" "$rc" "$(( $(date +%s) - t0 ))")")
  [ "$rc" = 0 ] || { failed=1; tail -n 15 "$target.$label.log" | sed 's/^/  | /'; }
}

doing "running the README's quick start"
# The README's commands, in its order.
grep -E '^    bash scripts/[a-z-]+\.sh' "$root/README.md" | sed -n '1,2p' | awk '{ print $1, $2 }' > "$target.commands"
[ "$(wc -l < "$target.commands")" = 2 ] || { echo "check-fresh-machine.sh: the README's quick start has no two commands" >&2; false; }
n=0
while read -r command; do
  n=$((n + 1))
  run_inside "$n-$(basename "${command#bash }" .sh)" "$command"
done < "$target.commands"

echo
echo "== fresh Debian 12: the README's quick start =="
printf '%s\n' "${results[@]}"
for w in 8 10; do
  s=$target$repo/build/release/ctest-wine$w.txt
  [ ! -f "$s" ] || cat "$s"
done
pictures=$(find "$target$repo/demo-out/shots" -name '*.png' 2>/dev/null | wc -l)
echo "demo pictures: $pictures"
release_system || true
echo "mounts left under the system: $(mounts_below | wc -l)"
[ -z "$(mounts_below)" ] || { echo "check-fresh-machine.sh: FAILED: mounts remain" >&2; exit 1; }
[ "$failed" = 0 ] || { echo "check-fresh-machine.sh: FAILED: a quick-start command failed (see above)" >&2; exit 1; }
[ "$pictures" -gt 0 ] || { echo "check-fresh-machine.sh: FAILED: the demo wrote no pictures" >&2; exit 1; }
echo "== fresh Debian 12: passed =="
