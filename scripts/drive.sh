# Drives the launcher under Wine and X with xdotool, for the end-to-end tests and the demo; sourced.
# Needs DISPLAY and the Wine environment of env.sh. Every wait has a time limit.

# Unix path -> the Z: path Wine shows for it.
winpath() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }

# wait_until <seconds> <command...>: polls the command every 0.1 s.
wait_until() {
  local limit=$1; shift
  local end=$(( $(date +%s%N) + limit * 1000000000 ))
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# count_lines <file> <fixed text>: lines of the file holding the text.
count_lines() { local n; n=$(grep -cF -- "$2" "$1" 2>/dev/null) || true; echo "${n:-0}"; }
has_lines() { [ "$(count_lines "$1" "$2")" -ge "${3:-1}" ]; }
# wait_log <file> <text> [count] [seconds]
wait_log() {
  wait_until "${4:-30}" has_lines "$1" "$2" "${3:-1}" || {
    echo "timed out waiting for '$2' (x${3:-1}) in $1" >&2
    [ -f "$1" ] && sed 's/^/  | /' "$1" >&2
    return 1
  }
}

# The visible launcher frame (the newest when a relaunch briefly shows two).
frame_id() { xdotool search --onlyvisible --name '^Varnis$' 2>/dev/null | tail -n 1; }
has_frame() { [ -n "$(frame_id)" ]; }
wait_frame() { wait_until "${1:-30}" has_frame && frame_id; }

# keys <window> <key...>: focus the window, then press the keys one by one.
keys() {
  local win=$1; shift
  xdotool windowfocus "$win" 2>/dev/null || true
  sleep 0.3
  local k
  for k in "$@"; do xdotool key --window "$win" --clearmodifiers "$k" 2>/dev/null || xdotool key "$k"; sleep 0.25; done
}
type_text() {
  xdotool windowfocus "$1" 2>/dev/null || true
  sleep 0.3
  # xdotool types a character outside the keymap by remapping a key for a moment; give Wine time
  # to see each such character on its own, or it may read the key after the map is restored (on
  # a busy machine 200 ms was not always enough).
  local text=$2 run="" ch
  while IFS= read -r -n1 ch; do
    if [[ "$ch" == [[:print:]] && $(printf '%s' "$ch" | wc -c) -eq 1 ]]; then
      run+=$ch
      continue
    fi
    [ -z "$run" ] || xdotool type --delay 30 -- "$run"
    run=""
    sleep 0.5
    xdotool type --delay 1000 -- "$ch"
    sleep 0.5
  done < <(printf '%s' "$text")
  [ -z "$run" ] || xdotool type --delay 30 -- "$run"
  sleep 0.5
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
# Wine 8 only in the off-screen window.
shot() {
  local id
  if [ "${VARNIS_WINE:-8}" = 8 ]; then id=$(picture_window); else id=$(frame_id); fi
  if [ -n "$id" ]; then import -window "$id" "$1" 2>/dev/null && return 0; fi
  import -window root "$1" 2>/dev/null
}

# geometry <window>: "WIDTHxHEIGHT" of an X window.
geometry() { xwininfo -id "$1" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }
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
picture_drawn() {
  local f; f=$(mktemp --suffix=.png)
  shot "$f" && awk -v c="$(contrast "$f")" 'BEGIN { exit !(c > 0.03) }'
  local r=$?; rm -f "$f"; return $r
}
# wait_drawn [seconds]: until the launcher's picture shows something (its first frames are done).
wait_drawn() { wait_until "${1:-30}" picture_drawn; sleep 0.5; }
