#!/usr/bin/env bash
# Frames per second of the real viewer under Xvfb on the 2.1 M-triangle map, from retained
# arrays and in immediate mode (KELVANE_GEOMETRY_MB=0). The camera moves one step per frame,
# so the distance flown while E is held for SECONDS counts the frames. Key auto-repeat is off
# (-r) so held keys queue no extra messages.
set -u
bin=${1:-build/bin}
seconds=${2:-4}
tmp=$(mktemp -d)
source "$(dirname "$0")/../tests/e2e/lib.sh"
viewer=""
trap '[[ -n $viewer ]] && kill -9 $viewer 2>/dev/null; stopX; rm -rf "$tmp"' EXIT
XVFB_ARGS=-r startX || exit 1
unset SDL_VIDEODRIVER

# Eight 255 x 1 x 255 lattices with rolling heights, as the frame benchmarks use.
awk 'BEGIN {
  printf "{\"lattices\": ["
  for (l = 0; l < 8; l++) {
    printf "%s{\"id\": 1, \"position\": [%d, 0, %d], \"rotation\": [0, 0, 0], \"cellSize\": [1, 1, 1],", \
      (l ? "," : ""), (l % 4) * 300 - 450, -int(l / 4) * 300 - 200
    printf " \"cells\": [255, 1, 255], \"heights\": ["
    for (s = 0; s < 32767; s++) printf "%s%.6g", (s ? "," : ""), sin(int(s / 256) * 0.1) + cos(s % 256 * 0.2)
    printf "]}"
  }
  printf "]}\n"
}' >"$tmp/big.json"
"$bin/kelvane" make-map "$tmp/big.json" -o "$tmp/big.map" || exit 1

# Frames drawn while E is held for $seconds, read from the camera P prints.
fly() {
  "$bin/kelvane-viewer" "$tmp/big.map" >"$tmp/out" 2>"$tmp/err" &
  viewer=$!
  local wid
  wid=$(WINDOW_WAIT=60 findWindow "Kelvane Map Viewer by Ruq") || { echo "no window" >&2; return 1; }
  xdotool windowfocus --sync "$wid"
  sleep 2
  xdotool keydown e
  sleep "$seconds"
  xdotool keyup e
  sleep 1
  xdotool key p
  sleep 1
  xdotool key Escape
  waitExit "$viewer"
  viewer=""
  sed -n 's/^--camera [^,]*,[^,]*,\([^,]*\),.*/\1/p' "$tmp/out" | tail -1
}

retained=$(fly)
immediate=$(KELVANE_GEOMETRY_MB=0 fly)
echo "viewer on the 2.1 M-triangle map under Xvfb, E held ${seconds} s:"
echo "  retained arrays: ${retained:-?} frames ($(awk -v f="${retained:-0}" -v s="$seconds" 'BEGIN { printf "%.1f", f / s }') frames/s)"
echo "  immediate mode:  ${immediate:-?} frames ($(awk -v f="${immediate:-0}" -v s="$seconds" 'BEGIN { printf "%.1f", f / s }') frames/s)"
awk -v r="${retained:-0}" -v i="${immediate:-0}" 'BEGIN { if (i > 0) printf "  retained / immediate: %.2f\n", r / i }'
