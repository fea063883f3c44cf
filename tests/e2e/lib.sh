# Shared by the end-to-end scripts: a private Xvfb, screenshots, pixels and a tally.
# Source it after setting `tmp`; call startX first.

pass=0
fail=0
check() { # name, then a command that succeeds when the check holds
  local name=$1
  shift
  if "$@"; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "FAIL: $name"
  fi
}
tally() {
  echo "$pass passed, $fail failed"
  [[ $fail -eq 0 ]]
}

startX() {
  local d
  for d in $(seq 91 199); do
    [[ -e /tmp/.X$d-lock || -e /tmp/.X11-unix/X$d ]] || break
  done
  Xvfb ":$d" -screen 0 1024x768x24 -nolisten tcp ${XVFB_ARGS:-} >"$tmp/xvfb.log" 2>&1 &
  xvfb=$!
  export DISPLAY=":$d"
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "Xvfb did not start on :$d" >&2
  return 1
}
stopX() { [[ -n ${xvfb:-} ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null; }

# Window id of the first visible window whose name is exactly $1 (and whose class is $2, when
# given), waiting up to WINDOW_WAIT seconds (default 20). Uses xwininfo, since xdotool's name
# search misses windows named only in UTF-8.
findWindow() {
  local id
  for _ in $(seq $((${WINDOW_WAIT:-20} * 10))); do
    for id in $(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": ${2:+(\"$2\"}" | awk '{print $1}'); do
      xwininfo -id "$id" 2>/dev/null | grep -q IsViewable && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

# shot ID FILE: the window's picture as PNG. ImageMagick's own convert, not a stand-in on PATH.
shot() { xwd -silent -id "$1" | /usr/bin/convert xwd:- "png:$2"; }

# pixel FILE X Y: "r g b" of one pixel, 0-255.
pixel() {
  /usr/bin/convert "$1" -format "%[fx:round(255*p{$2,$3}.r)] %[fx:round(255*p{$2,$3}.g)] %[fx:round(255*p{$2,$3}.b)]" info:
}
isPixel() { [[ "$(pixel "$1" "$2" "$3")" == "$4" ]] || { echo "  pixel $2,$3 of $(basename "$1") is $(pixel "$1" "$2" "$3"), want $4"; false; }; }

# colourful FILE WxH+X+Y: succeeds when some pixel in the area is not grey.
colourful() {
  local m
  m=$(/usr/bin/convert "$1" -crop "$2" +repage -fx 'abs(r-g)+abs(g-b)' -format '%[fx:maxima]' info:)
  [[ $m != 0 ]]
}

plain() { ! colourful "$@"; }

# waitExit PID: waits up to 30 s for the process to end and sets rc to its exit code (124
# and a kill when it does not end).
waitExit() {
  if timeout 30 tail --pid="$1" -f /dev/null; then
    wait "$1"
    rc=$?
  else
    kill -9 "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    rc=124
  fi
}

# differing A B: how many pixels of the two pictures differ.
differing() { /usr/bin/compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

# openMissing COMMAND...: runs a viewer on a map that does not open, dismisses its message
# box with Return, and sets `dialog` (the box's window id, empty when none showed) and `rc`.
openMissing() {
  "$@" >"$tmp/out" 2>"$tmp/err" &
  viewer=$!
  # The first dialog on a fresh machine may wait for its fonts to be cached.
  dialog=$(WINDOW_WAIT=60 findWindow "Error opening file.")
  if [[ -n $dialog ]]; then
    xdotool windowfocus --sync "$dialog"
    sleep 0.5
    xdotool key Return
  fi
  waitExit "$viewer"
  viewer=""
}
