#!/usr/bin/env bash
# The Python module's costs, in one run, on the 64 MB heights map: kelvane.open against
# `kelvane info` (goal: at most 1.2x), every lattice's heights summed in numpy against a C loop
# over the same floats (goal: at most 2x), and Map.render against `kelvane render` less its
# load (`info`; goal: at most 1.1x).
set -u
bin=${1:-build/bin}
python=${2:-build/python}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$bin/big_map" heights "$tmp/h.map" || exit 1
best() { # COMMAND...: the least wall time of three runs, in seconds
  for _ in 1 2 3; do /usr/bin/time -f '%e' -o "$tmp/t" "$@" >/dev/null 2>&1; cat "$tmp/t"; done | sort -n | head -n 1
}
info=$(best "$bin/kelvane" info "$tmp/h.map")
render=$(best "$bin/kelvane" render "$tmp/h.map" -o "$tmp/r.png")
cat >"$tmp/sum.c" <<'C'
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
int main(int argc, char** argv) { /* FLOATS.bin: the sum of its floats, and the loop's time */
  FILE* f = fopen(argv[1], "rb");
  fseek(f, 0, SEEK_END);
  long n = ftell(f) / 4;
  float* v = malloc(n * 4);
  fseek(f, 0, SEEK_SET);
  if (fread(v, 4, n, f) != (size_t)n) return 1;
  double best = 1e9, s = 0;
  for (int r = 0; r < 5; r++) {
    struct timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    float t = 0;
    for (long i = 0; i < n; i++) t += v[i];
    clock_gettime(CLOCK_MONOTONIC, &b);
    double d = (b.tv_sec - a.tv_sec) + (b.tv_nsec - a.tv_nsec) / 1e9;
    if (d < best) best = d;
    s = t;
  }
  printf("%.6f %g\n", best, s);
  return 0;
}
C
cc -O2 -o "$tmp/sum" "$tmp/sum.c" || exit 1
PYTHONPATH=$python /usr/bin/python3 - "$tmp" "$info" "$render" <<'PY'
import sys, time, subprocess
import numpy as np
import kelvane
tmp, info, render = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
def best(f, n=3):
    t = []
    for _ in range(n):
        a = time.perf_counter(); r = f(); t.append(time.perf_counter() - a)
    return min(t), r
opened, m = best(lambda: kelvane.open(f"{tmp}/h.map"))
print(f"kelvane.open  {opened:7.3f} s, info {info:.3f} s: {opened / info:.2f} x (goal: at most 1.2)")
lattices = m.lattices
summed, total = best(lambda: sum(float(np.add.reduce(L.heights, dtype=np.float32)) for L in lattices), 5)
np.concatenate([L.heights for L in lattices]).astype("<f4").tofile(f"{tmp}/floats.bin")
loop, _ = subprocess.run([f"{tmp}/sum", f"{tmp}/floats.bin"], capture_output=True, text=True).stdout.split()
loop = float(loop)
print(f"heights summed {summed:7.3f} s, C loop {loop:.3f} s: {summed / loop:.2f} x (goal: at most 2)")
drawn, _ = best(lambda: m.render())
draw = max(render - info, 1e-3)
print(f"Map.render    {drawn:7.3f} s, render less its load {draw:.3f} s: {drawn / draw:.2f} x (goal: at most 1.1)")
PY
