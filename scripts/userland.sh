# The Debian 13 userland that holds Wine 10 on a machine whose own Wine is older; sourced.
#   make_userland       makes it once (debootstrap from the machine's own apt mirror), then reuses it
#   userland_mount      binds what Wine needs into it; undone by userland_unmount (call from a trap)
# Mounts stack: every run binds its own layer and removes only its own, so runs may overlap.
userland_packages=(wine wine64 mesa-vulkan-drivers libvulkan1 libgl1-mesa-dri libglx-mesa0
                   x11-utils xdotool imagemagick fonts-wine)

# The first Debian mirror of the machine's apt configuration (not a security one).
apt_mirror() {
  local uri=""
  shopt -s nullglob
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    uri=$(awk '
      function flush() { if (uris != "" && types ~ /deb/ && suites !~ /-security/ && first == "") first = uris; uris = suites = types = "" }
      /^[ \t]*$/ { flush(); next }
      /^URIs:/ { uris = $2 } /^Suites:/ { suites = $0 } /^Types:/ { types = $0 }
      END { flush(); print first }' "$f")
    [ -n "$uri" ] && break
  done
  shopt -u nullglob
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" && $0 !~ /-security/ {
                 for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/) { print $i; exit } }' /etc/apt/sources.list)
  fi
  [ -n "$uri" ] || { echo "no Debian mirror in the apt configuration" >&2; return 1; }
  printf '%s\n' "$uri"
}

# Mount points inside the userland, innermost first.
userland_leftover_mounts() {
  awk -v d="$VARNIS_USERLAND/" 'index($5 "/", d) == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

userland_ready() { [ -f "$VARNIS_USERLAND/.varnis-ready" ]; }

# Mount points this shell made, innermost last; userland_unmount removes them in reverse.
userland_mounts=()
userland_bind() {
  local src=$1 dst=$VARNIS_USERLAND$1
  if [ -d "$src" ]; then mkdir -p "$dst"; else mkdir -p "$(dirname "$dst")"; [ -e "$dst" ] || : > "$dst"; fi
  mount --bind "$src" "$dst"
  userland_mounts+=("$dst")
}

# userland_mount [extra path...]: /proc, /dev, /sys, the X sockets, the repository and the build
# folder at their own paths (so Z:\ paths are the same inside), the X authority file, and extras.
userland_mount() {
  [ "$(id -u)" = 0 ] || { echo "Wine 10 runs in a Debian 13 userland through chroot: run as root" >&2; return 1; }
  mkdir -p /tmp/.X11-unix
  local p
  for p in /proc /dev /sys /tmp/.X11-unix "$root" "$@"; do
    [ -e "$p" ] || continue
    case "$p" in "$root"/*) [ "$p" = "$root" ] || continue ;; esac   # already inside the repository
    userland_bind "$p"
  done
  # X clients read the authority from $HOME/.Xauthority when XAUTHORITY is unset; name it, so the
  # same file shows inside.
  if [ -z "${XAUTHORITY:-}" ] && [ -f "${HOME:-/root}/.Xauthority" ]; then export XAUTHORITY=${HOME:-/root}/.Xauthority; fi
  if [ -n "${XAUTHORITY:-}" ] && [ -f "$XAUTHORITY" ]; then userland_bind "$XAUTHORITY"; fi
}

userland_unmount() {
  local i dst
  for (( i = ${#userland_mounts[@]} - 1; i >= 0; i-- )); do
    dst=${userland_mounts[i]}
    mountpoint -q "$dst" 2>/dev/null || [ -f "$dst" ] || continue
    umount "$dst" 2>/dev/null || { sleep 1; umount "$dst" 2>/dev/null; } || umount -l "$dst" 2>/dev/null || true
  done
  userland_mounts=()
}

# in_userland <command...>: runs the command inside the userland, in the caller's folder.
in_userland() {
  chroot "$VARNIS_USERLAND" /bin/sh -c 'cd "$1" 2>/dev/null || cd /; shift; exec "$@"' sh "$PWD" "$@"
}

# Makes the userland once. Needs root, about 1.8 GB and a few minutes.
make_userland() {
  userland_ready && return 0
  [ "$(id -u)" = 0 ] || { echo "making the Debian 13 userland for Wine 10 needs root" >&2; return 1; }
  local mirror; mirror=$(apt_mirror) || return 1
  command -v debootstrap >/dev/null || {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap </dev/null
  }
  local log=$VARNIS_USERLAND.log
  echo "setup: making the Debian 13 userland for Wine 10 in $VARNIS_USERLAND (about 1.8 GB, a few minutes; log $log)"
  # A half-made userland may still hold mounts of a run that was killed outright (the repository
  # among them): removing it through them would remove what they show.
  userland_leftover_mounts | while read -r m; do umount -l "$m" 2>/dev/null || true; done
  if [ -n "$(userland_leftover_mounts)" ]; then
    echo "setup: mounts remain under $VARNIS_USERLAND; not removing it" >&2
    return 1
  fi
  rm -rf "$VARNIS_USERLAND"
  mkdir -p "$(dirname "$VARNIS_USERLAND")"
  debootstrap --variant=minbase --include=ca-certificates trixie "$VARNIS_USERLAND" "$mirror" \
    </dev/null >"$log" 2>&1 || { tail -n 20 "$log" >&2; return 1; }
  (
    set -e
    trap userland_unmount EXIT INT TERM
    for p in /proc /dev /sys; do userland_bind "$p"; done
    export DEBIAN_FRONTEND=noninteractive
    chroot "$VARNIS_USERLAND" apt-get update -q
    chroot "$VARNIS_USERLAND" apt-get install -y -q --no-install-recommends "${userland_packages[@]}"
    chroot "$VARNIS_USERLAND" apt-get clean
  ) </dev/null >>"$log" 2>&1 || { tail -n 20 "$log" >&2; return 1; }
  touch "$VARNIS_USERLAND/.varnis-ready"
}
