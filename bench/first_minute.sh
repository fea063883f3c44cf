#!/usr/bin/env bash
# The first minute as a user meets it, under Xvfb (which does not pace frames) with the
# keyboard's auto-repeat on, for the demo and for the 2.1 M-triangle map: the share of a core
# the viewer takes while nothing moves, the camera steps a second while E is held, and how long
# after E is released (having been held 3 s) P is answered, with the camera stopped by then.
set -u
bin=${1:-build/bin}
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
source "$root/tests/e2e/lib.sh"
viewer=""
trap '[[ -n $viewer ]] && kill -9 $viewer 2>/dev/null; stopX; rm -rf "$tmp"' EXIT
startX || exit 1
xset r on
unset SDL_VIDEODRIVER
"$bin/kelvane" demo -o "$tmp/demo.map" || exit 1
"$bin/big_map" frame "$tmp/big.map" || exit 1

now() { date +%s.%N; }
cpuTicks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
tz() { sed -n 's/^--camera [^,]*,[^,]*,\([^,]*\),.*/\1/p' "$tmp/out" | tail -n "${1:-1}" | head -n 1; }
lines() { grep -c -- '^--camera' "$tmp/out"; }

measure() { # MAP NAME
  "$bin/kelvane-viewer" "$1" >"$tmp/out" 2>"$tmp/err" &
  viewer=$!
  local wid
  wid=$(WINDOW_WAIT=60 findWindow "Kelvane Map Viewer by Ruq") || { echo "no window: $(cat "$tmp/err")"; return 1; }
  xdotool windowfocus --sync "$wid"
  sleep 3
  local hz c0 t0 c1 t1
  hz=$(getconf CLK_TCK)
  c0=$(cpuTicks "$viewer") t0=$(now)
  sleep 4
  c1=$(cpuTicks "$viewer") t1=$(now)
  local idle
  idle=$(awk -v c="$((c1 - c0))" -v hz="$hz" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", 100 * c / hz / (b - a) }')
  # E held 3 s, released; P at once, then again a second later.
  t0=$(now)
  xdotool keydown e
  sleep 3
  xdotool keyup e
  t1=$(now)
  local n
  n=$(lines)
  xdotool key p
  for _ in $(seq 600); do [[ $(lines) -gt $n ]] && break; sleep 0.05; done
  local answered
  answered=$(now)
  local first
  first=$(tz)
  sleep 1
  xdotool key p
  for _ in $(seq 600); do [[ $(lines) -gt $((n + 1)) ]] && break; sleep 0.05; done
  xdotool key Escape
  waitExit "$viewer"
  viewer=""
  local steps rate
  steps=$first
  rate=$(awk -v s="$steps" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", s / (b - a) }')
  printf '%s: idle %s %% of a core (goal: under 5 on the demo); E held: %s steps a second (at most 60); P after the release answered in %.0f ms (about %.1f frames), camera %s\n' \
    "$2" "$idle" "$rate" "$(awk -v a="$t1" -v b="$answered" 'BEGIN { print 1000 * (b - a) }')" \
    "$(awk -v a="$t1" -v b="$answered" -v r="$rate" 'BEGIN { print (r > 0 ? (b - a) * r : 0) }')" \
    "$([[ $(tz) == "$first" ]] && echo "stopped by then" || echo "still moving after it ($first, then $(tz))")"
}

echo "The first minute under Xvfb, auto-repeat on:"
measure "$tmp/demo.map" "  demo map"
measure "$tmp/big.map" "  2.1 M-triangle map"
