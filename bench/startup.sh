#!/usr/bin/env bash
# Start-up of `kelvane` commands on the demo map against a C program that only prints its
# arguments, in one run: the mean of 200 runs each, 5 rounds interleaved, the fastest round
# (goal: within 3x).
set -u
bin=${1:-build/bin}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '#include <stdio.h>\nint main(int c, char **v) { for (int i = 1; i < c; i++) puts(v[i]); return 0; }\n' >"$tmp/args.c"
cc -O2 -o "$tmp/args" "$tmp/args.c" || exit 1
"$bin/kelvane" demo -o "$tmp/demo.map" || exit 1
cmds=("$tmp/args --version" "$bin/kelvane --version" "$bin/kelvane info $tmp/demo.map"
      "$bin/kelvane diff $tmp/demo.map $tmp/demo.map")
declare -A best
for round in 1 2 3 4 5; do
  for c in "${cmds[@]}"; do
    t0=$(date +%s%N)
    for _ in $(seq 200); do $c >/dev/null 2>&1; done
    t=$((($(date +%s%N) - t0) / 200))
    [[ -z ${best[$c]:-} || $t -lt ${best[$c]} ]] && best[$c]=$t
  done
done
base=${best[${cmds[0]}]}
echo "start-up, mean of 200 runs, fastest of 5 rounds:"
printf '  a C program printing its arguments: %.2f ms\n' "$(awk -v t="$base" 'BEGIN { print t / 1e6 }')"
for c in "${cmds[@]:1}"; do
  label=${c//"$tmp"\//}
  printf '  %-30s %.2f ms: %.2fx the C program (goal: at most 3)\n' "${label#"$bin"/}" \
    "$(awk -v t="${best[$c]}" 'BEGIN { print t / 1e6 }')" "$(awk -v t="${best[$c]}" -v b="$base" 'BEGIN { print t / b }')"
done
