#!/usr/bin/env bash
# The Windows build under Wine, in its own prefix and its own Xvfb: the viewer shows the
# same picture as the Linux viewer (from buffer objects, and from client arrays on a driver
# without them), moves, quits with 0 by Escape and by the close box, and
# reports a missing map in its message box; kelvane.exe prints the same JSON as on Linux.
set -u
win=$1   # build-windows/bin
linux=$2 # build/bin
wm_delete=$3
tmp=$(mktemp -d)
source "$(dirname "$0")/lib.sh"
viewer=""
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A fresh prefix can take a while to start its first program on a busy machine.
export WINDOW_WAIT=90
cleanup() {
  [[ -n $viewer ]] && kill -9 "$viewer" 2>/dev/null
  wineserver -k 2>/dev/null
  stopX
  rm -rf "$tmp"
}
trap cleanup EXIT
startX || exit 1
wineboot --init >/dev/null 2>&1
wineserver -w
title="Kelvane Map Viewer by Ruq"

"$linux/kelvane" make-map "$(dirname "$0")/../data/box.json" -o "$tmp/box.map" || exit 1
"$linux/kelvane" demo -o "$tmp/demo.map" || exit 1
box=$(winepath -w "$tmp/box.map")

wine "$win/kelvane.exe" info --json "$(winepath -w "$tmp/demo.map")" >"$tmp/win.json" 2>/dev/null
"$linux/kelvane" info --json "$tmp/demo.map" >"$tmp/linux.json"
check "kelvane.exe info --json equals Linux" cmp -s "$tmp/win.json" "$tmp/linux.json"
wine "$win/kelvane.exe" render "$box" -o x.png >/dev/null 2>"$tmp/render.err"
check "kelvane.exe render says it is not available" [ $? = 2 ]

start() {
  wine "$win/kelvane-viewer.exe" "$@" >"$tmp/out" 2>"$tmp/err" &
  viewer=$!
  wid=$(findWindow "$title")
  [[ -n $wid ]] || { echo "no viewer window; its stderr:"; cat "$tmp/err"; return 1; }
  # Wine takes no focus by itself without a window manager.
  xdotool windowfocus --sync "$wid"
  sleep 1
}
quit() {
  if [[ $1 == close ]]; then "$wm_delete" "$wid"; else xdotool key Escape; fi
  waitExit "$viewer"
  viewer=""
}

# The Linux viewer's picture of the same map, for comparison.
linuxPicture "$linux" "$tmp/box.map" "$tmp/linux.png"

start "$box" || exit 1
shot "$wid" "$tmp/win.png"
size=$(/usr/bin/identify -format %wx%h "$tmp/win.png")
w=${size%x*}
h=${size#*x}
check "front wall 153 at the centre" isPixel "$tmp/win.png" 320 $((h - 240)) "153 153 153"
# The client area is the window less its frame; the 640 x 480 viewport starts at its lower
# left, so the picture is the lower left of the Linux window's.
/usr/bin/convert "$tmp/linux.png" -crop "${w}x${h}+0+$((480 - h))" +repage "$tmp/linux-crop.png"
check "Windows picture equals Linux picture" [ "$(differing "$tmp/win.png" "$tmp/linux-crop.png")" = 0 ]
xdotool keydown e
sleep 1
xdotool keyup e
sleep 0.5
shot "$wid" "$tmp/e.png"
check "E moves the view" [ "$(differing "$tmp/win.png" "$tmp/e.png")" -gt 1000 ]
# printed: presses P and sets `line` to the view it prints, waiting for it (up to 15 s: Wine
# on a loaded machine can take seconds).
printed() {
  local before
  before=$(grep -c -- '^--camera' "$tmp/out")
  xdotool key p
  for _ in $(seq 150); do
    [ "$(grep -c -- '^--camera' "$tmp/out")" -gt "$before" ] && break
    sleep 0.1
  done
  line=$(tr -d '\r' <"$tmp/out" | grep -- '^--camera' | tail -n 1)
}
# pressed KEY NAME: presses KEY, then P; `line` is the line P printed, and the window's picture
# ($tmp/win-NAME.png) and the Linux render's with that line (cropped alike, linux-NAME-crop.png)
# are there to compare.
pressed() {
  xdotool key "$1"
  sleep 0.5
  printed
  shot "$wid" "$tmp/win-$2.png"
  # shellcheck disable=SC2086 # the P line is words
  "$linux/kelvane" render "$tmp/box.map" -o "$tmp/linux-$2.png" $line
  /usr/bin/convert "$tmp/linux-$2.png" -crop "${w}x${h}+0+$((480 - h))" +repage "$tmp/linux-$2-crop.png"
}
# C with the pointer away from the window cuts at the map's middle height: the picture (O hides
# the messages) is the Linux render's with the line P prints.
xdotool key o # no messages over the picture
xdotool mousemove 1200 1000
pressed c cut
check "C cuts the scene and P prints it" grep -qE -- "--section [-0-9.e]+$" <<<"$line"
check "the cut is the Linux render's" [ "$(differing "$tmp/win-cut.png" "$tmp/linux-cut-crop.png")" = 0 ]
# Numpad 7 (by its place, whatever Num Lock says) looks from the top, orthographic.
pressed KP_7 top
check "numpad 7 looks from the top, orthographic" grep -qE -- ",90,0 .*--ortho [0-9.e]+$" <<<"$line"
check "the top view is the Linux render's" [ "$(differing "$tmp/win-top.png" "$tmp/linux-top-crop.png")" = 0 ]
quit escape
check "Escape exits 0" [ "$rc" = 0 ]

# --compare with a quoted name holding a blank, as a command prompt passes it: the moved box in
# blue, the Linux render's with the view P prints.
cp "$tmp/box.map" "$tmp/old box.map"
sed 's/"position": \[0, 0, 0\]/"position": [0, 3, 0]/' "$(dirname "$0")/../data/box.json" >"$tmp/moved.json"
"$linux/kelvane" make-map "$tmp/moved.json" -o "$tmp/moved.map" || exit 1
start --compare "$(winepath -w "$tmp/old box.map")" "$(winepath -w "$tmp/moved.map")" || exit 1
xdotool key o
printed
check "P names the old map, quoted" grep -qF -- '--compare "' <<<"$line"
shot "$wid" "$tmp/win-compare.png"
# shellcheck disable=SC2086 # the camera is words
"$linux/kelvane" render "$tmp/moved.map" -o "$tmp/linux-compare.png" ${line%% --compare*} --compare "$tmp/old box.map"
/usr/bin/convert "$tmp/linux-compare.png" -crop "${w}x${h}+0+$((480 - h))" +repage "$tmp/linux-compare-crop.png"
check "the moved box is blue, as on Linux" [ "$(differing "$tmp/win-compare.png" "$tmp/linux-compare-crop.png")" = 0 ]
check "and not grey" [ "$(differing "$tmp/win-compare.png" "$tmp/win.png")" -gt 1000 ]
quit escape

# Ctrl+O: Windows' own open dialog (GetOpenFileNameA) picks a map, which then opens.
"$linux/kelvane" make-map "$(dirname "$0")/../data/side.json" -o "$tmp/side.map" || exit 1
start "$box" || exit 1
xdotool key ctrl+o
dialog() { # picks the map in the dialog named "Open a map"
  local dlg
  dlg=$(findWindow "Open a map") || { echo "  no open dialog"; return 1; }
  xdotool windowfocus --sync "$dlg"
  sleep 1
  xdotool type --delay 20 "$(winepath -w "$tmp/side.map")"
  sleep 0.5
  xdotool key Return
}
check "Ctrl+O shows the open dialog" dialog
opened() {
  for _ in $(seq 150); do tr -d '\r' <"$tmp/out" | grep -q "^opened .*side.map: 1 lattices$" && return 0; sleep 0.1; done
  echo "  stdout: $(cat "$tmp/out")"
  false
}
check "and the map picked there opens" opened
xdotool windowfocus --sync "$wid"
sleep 0.5
quit escape
check "Escape after Ctrl+O exits 0" [ "$rc" = 0 ]

# The overlay in the Windows build: F1 shows the help sheet, the same as the Linux viewer's.
linuxPicture "$linux" "$tmp/box.map" "$tmp/linux-help.png" F1
/usr/bin/convert "$tmp/linux-help.png" -crop "${w}x${h}+0+$((480 - h))" +repage "$tmp/linux-help-crop.png"
start "$box" || exit 1
xdotool key F1
sleep 1
shot "$wid" "$tmp/win-help.png"
check "F1 shows the help sheet in the Windows build" [ "$(differing "$tmp/win-help.png" "$tmp/win.png")" -gt 5000 ]
check "the same help sheet as the Linux viewer's" [ "$(differing "$tmp/win-help.png" "$tmp/linux-help-crop.png")" = 0 ]
quit escape

# A driver with plain OpenGL (Mesa made to say 1.4, without buffer objects): the viewer
# falls back to client arrays and shows the same picture.
MESA_GL_VERSION_OVERRIDE=1.4 MESA_EXTENSION_OVERRIDE=-GL_ARB_vertex_buffer_object start "$box" || exit 1
shot "$wid" "$tmp/win-client.png"
check "without buffer objects the same picture" [ "$(differing "$tmp/win-client.png" "$tmp/linux-crop.png")" = 0 ]
quit close
check "close box exits 0" [ "$rc" = 0 ]

# Now and then, on a busy machine, Wine's message box never shows (MessageBoxA returns at
# once and the viewer ends with 1); that is tried once more, after saying so.
for try in 1 2; do
  openMissing wine "$win/kelvane-viewer.exe" 'Z:\no\such.map'
  [[ -n $dialog ]] && break
  echo "no message box seen (try $try, exit $rc); stderr: $(cat "$tmp/err")"
done
check "message box shown" [ -n "$dialog" ]
check "missing map exits 1" [ "$rc" = 1 ]

tally
