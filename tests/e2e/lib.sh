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

# Xvfb takes a display number no other server holds and says which (-displayfd), and does not
# reset when its last client leaves (-noreset): while a server resets it refuses new clients,
# so a viewer started just after the previous one quit found no display now and then.
startX() {
  : >"$tmp/display"
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp ${XVFB_ARGS:-} \
    3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    if [[ -s $tmp/display ]]; then
      export DISPLAY=":$(tr -d '\n' <"$tmp/display")"
      xdpyinfo >/dev/null 2>&1 && return 0
    fi
    sleep 0.1
  done
  echo "Xvfb did not start: $(cat "$tmp/xvfb.log")" >&2
  return 1
}
# linuxPicture BIN MAP FILE [KEY]: the Linux viewer's window showing MAP (after KEY, when
# given), as PNG: what the Windows build must show.
linuxPicture() {
  "$1/kelvane-viewer" "$2" >/dev/null 2>&1 &
  local pid=$! lwid
  lwid=$(findWindow "Kelvane Map Viewer by Ruq" kelvane-viewer)
  if [[ -n ${4:-} ]]; then
    xdotool windowfocus --sync "$lwid"
    sleep 0.5
    xdotool key "$4"
  fi
  sleep 0.5
  shot "$lwid" "$3"
  kill "$pid"
  wait "$pid" 2>/dev/null
}

# What the X server looks like now, for a viewer that found no display: whether Xvfb runs, what
# a new client gets, how many clients it has, and its log.
xDiagnosis() {
  echo "  Xvfb (pid $xvfb) $(kill -0 "$xvfb" 2>/dev/null && echo runs || echo is gone) on $DISPLAY"
  echo "  a new client: $(xdpyinfo 2>&1 | head -n 2 | tr '\n' ' ')"
  echo "  clients: $(xlsclients 2>/dev/null | wc -l); log: $(tail -n 5 "$tmp/xvfb.log" | tr '\n' ' ')"
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
# box with Return (its picture in $tmp/dialog.png), and sets `dialog` (the box's window id,
# empty when none showed) and `rc`.
openMissing() {
  "$@" >"$tmp/out" 2>"$tmp/err" &
  viewer=$!
  # The first dialog on a fresh machine may wait for its fonts to be cached.
  dialog=$(WINDOW_WAIT=60 findWindow "Error opening file.")
  if [[ -n $dialog ]]; then
    xdotool windowfocus --sync "$dialog"
    sleep 0.5
    shot "$dialog" "$tmp/dialog.png"
    xdotool key Return
  fi
  waitExit "$viewer"
  [[ -n $dialog ]] || { echo "  no message box; the program said: $(cat "$tmp/err")"; xDiagnosis; }
  viewer=""
}
