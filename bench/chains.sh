#!/usr/bin/env bash
# Parent chains cost no more than the same lattices side by side: `kelvane thumbnail`, `render`
# and `export` of 32,000 one-cell lattices each the parent of the next, against the same
# lattices with no parents, measured in one run (goal: a ratio of at most 2).
set -u
declare -A t
bin=${1:-build/bin}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$bin/big_map" chain "$tmp/chain.map" || exit 1
"$bin/big_map" unchained "$tmp/flat.map" || exit 1
seconds() { # COMMAND...: wall seconds it took
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}
echo "32,000 lattices in one parent chain against the same with no parents (seconds, ratio):"
for what in thumbnail render export; do
  for m in chain flat; do
    case $what in
    thumbnail) t[$m]=$(seconds "$bin/kelvane" thumbnail -s 256 "$tmp/$m.map" "$tmp/$m.png") ;;
    render) t[$m]=$(seconds "$bin/kelvane" render "$tmp/$m.map" --fit -o "$tmp/$m.png") ;;
    export) t[$m]=$(seconds "$bin/kelvane" export "$tmp/$m.map" -o "$tmp/$m.obj") ;;
    esac
  done
  printf '  %-9s chain %6.2f, no parents %6.2f: %.2f (goal: at most 2)\n' "$what" "${t[chain]}" "${t[flat]}" \
    "$(awk -v a="${t[chain]}" -v b="${t[flat]}" 'BEGIN { print (b > 0 ? a / b : 0) }')"
done
# --hide naming nearly every lattice costs no more than naming none.
all=$(seconds "$bin/kelvane" render "$tmp/flat.map" -o "$tmp/flat.png")
hidden=$(seconds "$bin/kelvane" render "$tmp/flat.map" --hide 1-31999 -o "$tmp/flat.png")
printf '  render --hide 1-31999 %6.2f, without %6.2f: %.2f\n' "$hidden" "$all" \
  "$(awk -v a="$hidden" -v b="$all" 'BEGIN { print (b > 0 ? a / b : 0) }')"
