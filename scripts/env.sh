# Shared settings of the scripts; sourced, not run. Every value can be overridden from outside.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export IMGUI_DEB_VERSION=${IMGUI_DEB_VERSION:-1.90.1+ds-1}
export IMGUI_DIR=${IMGUI_DIR:-$root/.deps/imgui-1.90.1}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export BUILD_DIR=${BUILD_DIR:-$root/build/release}

# fail_loudly: from here on a failing command ends the script with a last line that names the step
# (set with `doing "..."`), the command, its exit code and where, and what to do next. A failure
# inside one of the project's scripts is reported there; the scripts that called it only pass on
# its exit code, so the last line always names the step that really failed.
doing() { VARNIS_STEP=$1; }
fail_loudly() {
  VARNIS_STEP=${VARNIS_STEP:-starting}
  trap 'report_failure $? "$BASH_COMMAND" "${BASH_SOURCE[0]:-$0}" "$LINENO"' ERR
}
report_failure() {
  trap - ERR
  local command=$2
  # A failing function reports its own last command (a return): name the call instead.
  case $command in return*) command=$(sed -n "$4{s/^[[:space:]]*//;p}" "$3" 2>/dev/null) ;; esac
  case $command in */scripts/*.sh*) exit "$1" ;; esac
  echo "$(basename "$0"): FAILED while $VARNIS_STEP: '$command' exited with $1 ($(basename "$3") line $4)." \
       "Fix what the lines above say, then run the same command again (every step is safe to repeat)." >&2
  exit "$1"
}
# logged <file> <command...>: the command's output goes to the file; on failure its tail is shown.
logged() {
  local log=$1 rc=0
  shift
  "$@" </dev/null >"$log" 2>&1 || rc=$?
  [ "$rc" = 0 ] || tail -n 20 "$log" >&2
  return "$rc"
}

# Which Wine: VARNIS_WINE=8 is the system's own Wine when it is older than 10; VARNIS_WINE=10 is the
# system's own when it is 10 or newer, otherwise Wine 10 in a Debian 13 userland under .cache/
# (scripts/userland.sh). Each has its own prefix. Every Wine call goes through scripts/wine-run
# ($VARNIS_WINE_RUN); the functions wine, wineserver and wineboot below are short for it.
export VARNIS_WINE_RUN=$root/scripts/wine-run
export VARNIS_USERLAND=${VARNIS_USERLAND:-$root/.cache/trixie}
export VARNIS_WINE8_PREFIX=${VARNIS_WINE8_PREFIX:-${WINEPREFIX:-$root/.cache/wine/prefix}}
export VARNIS_WINE10_PREFIX=${VARNIS_WINE10_PREFIX:-$root/.cache/wine10/prefix}

# The major version of the system's own Wine, empty without one.
# Runs before setup has installed anything, so a missing wine is an answer, not an error.
system_wine_major() {
  command -v wine >/dev/null 2>&1 || return 0
  { command wine --version 2>/dev/null || true; } | sed -n 's/^wine-\([0-9]*\).*/\1/p'
}

# The Wines this machine can run, oldest first: "8 10", or "10" where the system's Wine is 10 or newer.
available_wines() {
  local sys; sys=$(system_wine_major)
  if [ -n "$sys" ] && [ "$sys" -lt 10 ]; then echo "8 10"; else echo "10"; fi
}

# select_wine 8|10: exports VARNIS_WINE, WINEPREFIX and VARNIS_WINE_CHROOT (the userland, or empty).
select_wine() {
  local sys; sys=$(system_wine_major)
  case $1 in
    8)
      [ -n "$sys" ] && [ "$sys" -lt 10 ] || { echo "no Wine older than 10 on this machine" >&2; return 1; }
      VARNIS_WINE_CHROOT=""; WINEPREFIX=$VARNIS_WINE8_PREFIX ;;
    10)
      if [ -n "$sys" ] && [ "$sys" -ge 10 ]; then VARNIS_WINE_CHROOT=""; else VARNIS_WINE_CHROOT=$VARNIS_USERLAND; fi
      WINEPREFIX=$VARNIS_WINE10_PREFIX ;;
    *) echo "unknown Wine '$1' (8 or 10)" >&2; return 1 ;;
  esac
  export VARNIS_WINE=$1 VARNIS_WINE_SELECTED=$1 VARNIS_WINE_CHROOT WINEPREFIX
}
if [ -z "${VARNIS_WINE:-}" ]; then
  VARNIS_WINE=$(available_wines); VARNIS_WINE=${VARNIS_WINE%% *}
fi
[ "${VARNIS_WINE_SELECTED:-}" = "$VARNIS_WINE" ] || select_wine "$VARNIS_WINE"

wine() { "$VARNIS_WINE_RUN" "$@"; }
wineserver() { "$VARNIS_WINE_RUN" --server "$@"; }
wineboot() { "$VARNIS_WINE_RUN" --boot "$@"; }
