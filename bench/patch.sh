#!/usr/bin/env bash
# `kelvane patch` on large changes, in one run: 10^6 height changes against one lattice, and the
# full `diff --json` of two 64 MB maps (every height changed). Time, and peak memory against
# the JSON's size plus the map's (goal: linear time, memory at most 2x the JSON plus the map).
set -u
bin=${1:-build/bin}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
measure() { # NAME MAP JSON: patch's seconds and peak memory, against the input sizes
  /usr/bin/time -f '%e %M' -o "$tmp/time" "$bin/kelvane" patch "$2" "$3" -o "$tmp/out.map" 2>/dev/null ||
    { echo "  $1: patch failed"; return; }
  read -r secs kb <"$tmp/time"
  local inputs=$(($(stat -c %s "$2") + $(stat -c %s "$3")))
  printf '  %-34s %6.2f s, peak %5d MB; over JSON + map (%d MB): %.2f (goal: at most 2)\n' "$1" \
    "$secs" $((kb / 1024)) $((inputs >> 20)) "$(awk -v a="$kb" -v b="$inputs" 'BEGIN { print a * 1024 / b }')"
}
echo "kelvane patch:"
# One lattice of 32,767 heights (the most a list holds), changed a million times in turn.
printf '{"lattices": [{"id": 1, "position": [0, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [180, 1, 180], "heights": [%s0]}]}' \
  "$(yes 0, | head -n 32766 | tr -d '\n')" >"$tmp/one.json"
"$bin/kelvane" make-map "$tmp/one.json" -o "$tmp/one.map" || exit 1
python3 - "$tmp/changes.json" <<'PY'
import sys
n, per = 1000000, 32767
with open(sys.argv[1], 'w') as f:
    f.write('{"changes": [\n')
    for i in range(n):
        r = i // per
        f.write('%s{"change": "reshaped", "old": 0, "new": 0, "id": 1, "heights": [{"index": %d, "old": %d, "new": %d}]}\n'
                % (',' if i else ' ', i % per, r, r + 1))
    f.write(']}\n')
PY
measure "10^6 height changes, one lattice" "$tmp/one.map" "$tmp/changes.json"
"$bin/big_map" heights "$tmp/a.map" && "$bin/big_map" heights-raised "$tmp/b.map" || exit 1
"$bin/kelvane" diff "$tmp/a.map" "$tmp/b.map" --json >"$tmp/d.json" 2>/dev/null
measure "two 64 MB maps' full diff --json" "$tmp/a.map" "$tmp/d.json"
cmp -s "$tmp/out.map" "$tmp/b.map" || echo "  the patched map is not the new one"
