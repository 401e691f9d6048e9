# Drives the launcher under Wine and X with xdotool, for the end-to-end tests and the demo; sourced.
# Needs DISPLAY and the Wine environment of env.sh. Every wait has a time limit.

# Unix path -> the Z: path Wine shows for it.
winpath() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }

# wait_until <seconds> <command...>: polls the command, run anew each time, every 0.1 s.
wait_until() {
  local limit=$1; shift
  local end=$(( $(date +%s%N) + limit * 1000000000 ))
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -lt "$end" ] || return 1
    sleep 0.1
  done
}
# wait_for <seconds> <what> <command...>: wait_until that names its condition when it fails.
wait_for() {
  local limit=$1 what=$2; shift 2
  wait_until "$limit" "$@" && return 0
  echo "wait failed after $limit s: $what" >&2
  return 1
}

# count_lines <file> <fixed text>: lines of the file holding the text.
count_lines() { local n; n=$(grep -cF -- "$2" "$1" 2>/dev/null) || true; echo "${n:-0}"; }
has_lines() { [ "$(count_lines "$1" "$2")" -ge "${3:-1}" ]; }
# wait_log <file> <text> [count] [seconds]
wait_log() {
  wait_for "${4:-30}" "'$2' (x${3:-1}) in $1" has_lines "$1" "$2" "${3:-1}"
}
# changed_since <file> <copy>: the file now differs from the copy taken before an action.
changed_since() { ! cmp -s "$1" "$2"; }

# The visible launcher frame (the newest when a relaunch briefly shows two).
frame_id() { xdotool search --onlyvisible --name '^Varnis$' 2>/dev/null | tail -n 1; }
has_frame() { [ -n "$(frame_id)" ]; }
wait_frame() { wait_for "${1:-30}" "a visible window named Varnis" has_frame && frame_id; }
# window_list: the top-level X windows with their names and geometry, for failure reports.
window_list() { xwininfo -root -children 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]* .*\)/\1/p'; }

# focus <window>: gives the window the X input focus and waits until the server reports it there.
focus() { timeout 10 xdotool windowfocus --sync "$1" 2>/dev/null; }
# keys <window> <key...>: real key presses (XTEST) into the focused window, one call, in order.
# Callers wait on each key's effect before the next key that depends on it.
keys() {
  local win=$1; shift
  focus "$win" || { echo "could not focus window $win" >&2; return 1; }
  xdotool key --clearmodifiers --delay 60 "$@"
}
# type_text <window> <text>: types the text through XTEST into the focused window.
type_text() {
  focus "$1" || { echo "could not focus window $1" >&2; return 1; }
  # A character outside the keymap makes xdotool remap a spare key for a moment; the slow
  # delay lets the key map change reach Wine before that key is pressed.
  local text=$2 run="" ch
  while IFS= read -r -n1 ch; do
    if [[ "$ch" == [[:print:]] && $(printf '%s' "$ch" | wc -c) -eq 1 ]]; then
      run+=$ch
      continue
    fi
    [ -z "$run" ] || xdotool type --delay 30 -- "$run"
    run=""
    xdotool type --delay 1000 -- "$ch"
  done < <(printf '%s' "$text")
  [ -z "$run" ] || xdotool type --delay 30 -- "$run"
}

# The off-screen X window that holds the Direct3D picture of the launcher's child window:
# the largest child of a 1x1 window parked at -1,-1 (children are indented deeper than it).
picture_window() {
  xwininfo -root -tree 2>/dev/null | awk '
    /1x1\+-1\+-1/ { parent = 1; match($0, /^ */); depth = RLENGTH; next }
    parent && /child/ { next }
    parent && /^ *0x[0-9a-f]+ / && match($0, /^ */) && RLENGTH > depth {
      if (match($0, /[0-9]+x[0-9]+\+/)) {
        split(substr($0, RSTART, RLENGTH - 1), s, "x"); area = s[1] * s[2]
        if (area > best) { best = area; id = $1 }
      }
      next
    }
    { parent = 0 }
    END { if (id) print id }'
}

# shot <file.png>: a picture of what the launcher shows. Wine 10 shows it on the visible frame;
# Wine 8 only in the off-screen window. The path is kept in last_shot for failure reports.
last_shot=""
shot() {
  local id
  if [ "${VARNIS_WINE:-8}" = 8 ]; then id=$(picture_window); else id=$(frame_id); fi
  last_shot=$1
  if [ -n "$id" ]; then import -window "$id" "$1" 2>/dev/null && return 0; fi
  import -window root "$1" 2>/dev/null
}

# geometry <window>: "WIDTHxHEIGHT" of an X window.
geometry() { xwininfo -id "$1" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }
test_geometry() { [ "$(geometry "$1")" = "$2" ]; }
# area <window> [inset]: "WxH+X+Y" of the window on the screen, shrunk by inset pixels on each side.
area() {
  xwininfo -id "$1" 2>/dev/null | awk -v i="${2:-0}" '
    /Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
    /Width:/ { w = $2 } /Height:/ { h = $2 }
    END { if (w > 2 * i && h > 2 * i) printf "%dx%d+%d+%d\n", w - 2 * i, h - 2 * i, x + i, y + i }'
}

# lit_share <file.png> [WxH+X+Y]: the share (0..1) of the picture's pixels, or of that part of it,
# that are not black. The launcher's darkest colours are well above the 3 % grey level.
lit_share() {
  convert "$1" ${2:+-crop "$2" +repage} -colorspace Gray -threshold 3% -format '%[fx:mean]' info: 2>/dev/null || echo 0
}
# frame_lit <root.png> <WxH+X+Y>: most of that part of a screenshot is not black.
frame_lit() { awk -v s="$(lit_share "$1" "$2")" 'BEGIN { exit !(s >= 0.5) }'; }

# Picture brightness of a PNG, 0..1 (to tell a drawn screen from a black one).
brightness() { convert "$1" -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null; }

# Spread of grey levels in a PNG: near 0 for an empty (uniform) picture.
contrast() { convert "$1" -colorspace Gray -format '%[fx:standard_deviation]' info: 2>/dev/null || echo 0; }
# difference <a.png> <b.png> [WxH+X+Y]: the RMSE (0..1) between two pictures, or parts of them.
difference() {
  local d
  d=$({ compare -metric RMSE ${3:+-extract "$3"} "$1" "$2" null: 2>&1 || true; } | sed -n 's/.*(\(.*\))/\1/p')
  echo "${d:-1}"
}
# picture_settled <dir> [allowed change]: two shots in a row show something (a frame was drawn)
# and differ by no more than the allowed change (0.005 by default: nothing but a text cursor's
# blink; an animated screen passes its own). The last figures stay in <dir>/settle.txt.
picture_settled() {
  local a=$1/settle-a.png b=$1/settle-b.png c d
  shot "$a" && shot "$b" || return 1
  c=$(contrast "$b"); d=$(difference "$a" "$b")
  echo "contrast $c, change between two shots $d (allowed ${2:-0.005})" >"$1/settle.txt"
  awk -v c="$c" -v d="$d" -v m="${2:-0.005}" 'BEGIN { exit !(c > 0.03 && d <= m) }'
}
# wait_drawn [seconds] [allowed change]: until the launcher's picture shows something and settles.
# The shots go to $settle_dir (a temporary folder when unset).
wait_drawn() {
  local dir=${settle_dir:-} own=""
  [ -n "$dir" ] || { dir=$(mktemp -d); own=1; }
  wait_for "${1:-30}" "a drawn picture that settles across two screenshots" picture_settled "$dir" "${2:-}" ||
    { echo "  last: $(cat "$dir/settle.txt" 2>/dev/null)" >&2; [ -z "$own" ] || rm -rf "$dir"; return 1; }
  [ -z "$own" ] || rm -rf "$dir"
}
