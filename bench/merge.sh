#!/usr/bin/env bash
# `kelvane diff` and `kelvane merge` on long lists and big maps, in one run: the pairing of 5,000
# and 65,535 lattices with the first moved to the end and with the list reversed (exact, so one
# removed and one added; time against `info` of the same map), and diff and merge of two 64 MB
# maps against `info` of both (goal: at most 2.5x).
set -u
bin=${1:-build/bin}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
seconds() { # COMMAND...: its wall time
  /usr/bin/time -f '%e' -o "$tmp/time" "$@" >/dev/null 2>&1
  tail -n 1 "$tmp/time" # after "Command exited with non-zero status 1" (diff's "they differ")
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
lattices() { # N ORDER: a map's JSON of N small lattices (ids 1 to 32767, the most a map holds,
  # then again), in order, the first moved to the end, or reversed
  python3 - "$1" "$2" <<'PY'
import sys
n, order = int(sys.argv[1]), sys.argv[2]
ids = [k % 32767 + 1 for k in range(n)]
if order == 'moved': ids = ids[1:] + ids[:1]
if order == 'reversed': ids.reverse()
rows = ('{"id": %d, "position": [%d, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [1, 1, 1]}' % (i, i) for i in ids)
print('{"lattices": [' + ', '.join(rows) + ']}')
PY
}
echo "kelvane diff, pairing long lists (seconds; over info of the map):"
for n in 5000 65535; do
  for order in plain moved reversed; do
    lattices $n $order >"$tmp/$order.json"
    "$bin/kelvane" make-map "$tmp/$order.json" -o "$tmp/$order.map" || exit 1
  done
  info=$(seconds "$bin/kelvane" info "$tmp/plain.map")
  for order in moved reversed; do
    "$bin/kelvane" diff "$tmp/plain.map" "$tmp/$order.map" >"$tmp/out" 2>&1
    took=$(seconds "$bin/kelvane" diff "$tmp/plain.map" "$tmp/$order.map")
    printf '  %5d lattices, %-8s %6.2f s (%s x info): %s\n' $n "$order" "$took" "$(ratio "$took" "$info")" "$(tail -n 1 "$tmp/out")"
  done
done
echo "kelvane diff and merge of two 64 MB maps (every height changed), over info of both:"
"$bin/big_map" heights "$tmp/a.map" && "$bin/big_map" heights-raised "$tmp/b.map" || exit 1
info=$(awk -v a="$(seconds "$bin/kelvane" info "$tmp/a.map")" -v b="$(seconds "$bin/kelvane" info "$tmp/b.map")" 'BEGIN { print a + b }')
took=$(seconds "$bin/kelvane" diff "$tmp/a.map" "$tmp/b.map")
printf '  diff  %6.2f s: %s x info (goal: at most 2.5)\n' "$took" "$(ratio "$took" "$info")"
took=$(seconds "$bin/kelvane" merge "$tmp/a.map" "$tmp/b.map" "$tmp/a.map" -o "$tmp/m.map")
printf '  merge %6.2f s: %s x info (goal: at most 2.5)\n' "$took" "$(ratio "$took" "$info")"
cmp -s "$tmp/m.map" "$tmp/b.map" || echo "  the merged map is not the changed one"
