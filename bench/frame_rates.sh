#!/usr/bin/env bash
# Frames per second on the 2.1 M-triangle map, in one run: the desktop viewer under Xvfb from
# buffer objects and in immediate mode (KELVANE_GEOMETRY_MB=0), and the web viewer in headless
# Chromium; the browser's own limit (the same map's triangles from one WebGL buffer in one draw
# call) and the web viewer on the demo against the browser's frame rate. On the desktop the
# frames are counted where they are presented, at the swap, by Mesa's own counter (its HUD,
# dumped to a file, a line a presented frame): the frames of a run with E held for SECONDS, less
# those of the same run without E (start-up, P, Escape). Key auto-repeat is turned off (xset r off): a held E is one
# press, as on a machine whose repeats the viewer drops. The camera's distance, one step a
# frame, is printed beside it as a check.
set -u
bin=${1:-build/bin}
site=${2:-build-web}
seconds=${3:-4}
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
source "$root/tests/e2e/lib.sh"
viewer="" server=""
trap '[[ -n $viewer ]] && kill -9 $viewer 2>/dev/null; [[ -n $server ]] && kill $server 2>/dev/null; stopX; rm -rf "$tmp"' EXIT
startX || exit 1
xset r off
unset SDL_VIDEODRIVER
"$bin/big_map" frame "$tmp/big.map" || exit 1

# Flies with E held for $1 seconds: prints the frames presented in the run (Mesa's HUD writes a
# line at each swap a millisecond or more after the last) and the camera's distance flown (one
# step a frame), read from the camera P prints. A viewer whose window does not show is tried
# once more.
fly() {
  local wid try hud="$tmp/hud"
  rm -rf "$hud" && mkdir -p "$hud"
  for try in 1 2; do
    GALLIUM_HUD=fps GALLIUM_HUD_PERIOD=0.001 GALLIUM_HUD_DUMP_DIR="$hud" \
      "$bin/kelvane-viewer" "$tmp/big.map" >"$tmp/out" 2>"$tmp/err" &
    viewer=$!
    wid=$(WINDOW_WAIT=60 findWindow "Kelvane Map Viewer by Ruq") && break
    echo "no viewer window (try $try); its stderr: $(cat "$tmp/err")" >&2
    kill -9 "$viewer" 2>/dev/null
    wait "$viewer" 2>/dev/null
    viewer=""
  done
  [[ -n $viewer ]] || return 1
  xdotool windowfocus --sync "$wid"
  sleep 2
  if [[ $1 != 0 ]]; then
    xdotool keydown e
    sleep "$1"
    xdotool keyup e
  fi
  sleep 1
  xdotool key p
  sleep 1
  xdotool key Escape
  waitExit "$viewer"
  viewer=""
  printf '%s %s\n' "$(wc -l <"$hud/fps" 2>/dev/null || echo 0)" \
    "$(sed -n 's/^--camera [^,]*,[^,]*,\([^,]*\),.*/\1/p' "$tmp/out" | tail -1)"
}
# Frames presented while E was held: a run's frames less those of a run without E.
held() {
  local with without
  read -r with steps < <(fly "$seconds")
  read -r without _ < <(fly 0)
  echo "$((${with:-0} - ${without:-0})) ${steps:-0}"
}
read -r retained retainedSteps < <(held)
read -r immediate immediateSteps < <(KELVANE_GEOMETRY_MB=0 held)
stopX

# The web viewer and the one-draw-call page, served from a copy of the site.
cp -r "$site" "$tmp/site"
cp "$tmp/big.map" "$tmp/site/frame.map"
"$bin/kelvane" export "$tmp/big.map" -o "$tmp/site/frame.glb" || exit 1
cp "$root/bench/web_limit.html" "$tmp/site/"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$tmp/site" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do python3 -c "import urllib.request as u; u.urlopen(\"http://127.0.0.1:$port/\")" 2>/dev/null && break; sleep 0.1; done
web=$(env -u DISPLAY NODE_PATH="$root/.tools/node_modules" node "$root/bench/web_fps.js" "http://127.0.0.1:$port/" "$seconds")
w() { node -e "console.log(JSON.parse(process.argv[1])[process.argv[2]])" "$web" "$1" 2>/dev/null; }

desktop=$(awk -v f="${retained:-0}" -v s="$seconds" 'BEGIN { printf "%.2f", f / s }')
echo "2.1 M-triangle map, frames per second in this run (E held ${seconds} s, auto-repeat off;"
echo "frames counted at the swap, the camera's steps beside them):"
echo "  desktop viewer under Xvfb, buffer objects: $desktop ($retained frames, $retainedSteps steps)"
echo "  desktop viewer, immediate mode:            $(awk -v f="${immediate:-0}" -v s="$seconds" 'BEGIN { printf "%.2f", f / s }') ($immediate frames, $immediateSteps steps)"
printf '  web viewer in headless Chromium:           %.2f (%s triangles a frame after culling)\n' "$(w viewer)" "$(w viewerTriangles)"
printf '  one buffer, one draw call, in Chromium:    %.2f (all %s triangles)\n' "$(w limit)" "$(w limitTriangles)"
awk -v d="$desktop" -v v="$(w viewer)" -v l="$(w limit)" -v vt="$(w viewerTriangles)" -v lt="$(w limitTriangles)" 'BEGIN {
  if (d > 0) printf "  web viewer / desktop viewer: %.2f (goal 1.0)\n", v / d
  if (d > 0) printf "  one-draw-call page / desktop viewer: %.2f\n", l / d
  if (l > 0 && lt > 0) printf "  web viewer / browser limit, triangles a second: %.2f\n", v * vt / (l * lt)
}'
awk -v r="${retained:-0}" -v i="${immediate:-0}" 'BEGIN { if (i > 0) printf "  desktop buffer objects / immediate: %.2f\n", r / i }'
printf 'demo map in Chromium: %.1f frames/s at a browser frame rate of %.1f: %.2f\n' "$(w demo)" "$(w display)" \
  "$(awk -v a="$(w demo)" -v b="$(w display)" 'BEGIN { print (b > 0 ? a / b : 0) }')"
