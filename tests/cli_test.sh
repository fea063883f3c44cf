#!/usr/bin/env bash
# The `kelvane` command as a user meets it: exit codes and the messages on stderr.
set -u
bin=$1
build=${2:-plain} # "sanitized" skips the memory measurement
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
pass=0 fail=0
check() { # name, expected exit, expected stderr fragment, command...
  local name=$1 want=$2 frag=$3
  shift 3
  "$@" >"$tmp/out" 2>"$tmp/err"
  local rc=$?
  if [[ $rc -eq $want ]] && { [[ -z $frag ]] || grep -qF -- "$frag" "$tmp/err"; }; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "FAIL $name: exit $rc (want $want), stderr: $(head -c 300 "$tmp/err")"
  fi
}

check "missing map" 1 "kelvane: $tmp/none.map: No such file or directory" "$bin/kelvane" info "$tmp/none.map"
check "no command" 2 "kelvane:" "$bin/kelvane"
check "unknown option" 2 "kelvane:" "$bin/kelvane" info --bogus x
check "help" 0 "" "$bin/kelvane" --help
check "info help" 0 "" "$bin/kelvane" info --help
grep -q "Example" "$tmp/out" || { fail=$((fail + 1)); echo "FAIL info help has no example"; }
check "version" 0 "" "$bin/kelvane" --version
# Every command but render and thumbnail starts without the drawing libraries; those two run
# kelvane-draw, which has them, and say so when it is missing.
needed=$(readelf -d "$bin/kelvane" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
check "kelvane loads no drawing library ($needed)" 0 "" \
  eval '! grep -qE "GL|EGL|png|avcodec|avformat|swscale" <<<"$needed"'
mkdir -p "$tmp/lone/bin" && cp "$bin/kelvane" "$tmp/lone/bin/"
"$bin/kelvane" demo -o "$tmp/lone/demo.map" 2>/dev/null
check "render without kelvane-draw" 1 \
  "kelvane: $tmp/lone/bin/../libexec/kelvane/kelvane-draw: No such file or directory: render and thumbnail run it; reinstall kelvane" \
  "$tmp/lone/bin/kelvane" render "$tmp/lone/demo.map" -o "$tmp/lone/demo.png"
check "info without kelvane-draw" 0 "" "$tmp/lone/bin/kelvane" info "$tmp/lone/demo.map"
check "unknown command" 2 "kelvane: unknown command 'bogus'" "$bin/kelvane" bogus x
grep -qF "Run 'kelvane --help'" "$tmp/err" || { fail=$((fail + 1)); echo "FAIL unknown command points at --help"; }
check "usage error points at the command's help" 2 "Run 'kelvane info --help'" "$bin/kelvane" info --bogus x

# Files that are not maps fail with the reason, for every command that reads a map.
printf 'short' >"$tmp/short.map"
: >"$tmp/empty.map"
head -c 4096 /dev/urandom >"$tmp/noise.map"
for cmd in info "render -o $tmp/x.png" "export -o $tmp/x.obj"; do
  check "$cmd: truncated header" 1 "kelvane: $tmp/short.map: not a map: file ends inside the header at byte 5" "$bin/kelvane" $cmd "$tmp/short.map"
  check "$cmd: empty file" 1 "kelvane: $tmp/empty.map: not a map: the file is empty" "$bin/kelvane" $cmd "$tmp/empty.map"
  check "$cmd: random bytes" 1 "kelvane: $tmp/noise.map: not a map: " "$bin/kelvane" $cmd "$tmp/noise.map"
  check "$cmd: a directory" 1 "kelvane: $tmp: Is a directory" "$bin/kelvane" $cmd "$tmp"
done
[[ ! -e $tmp/x.png && ! -e $tmp/x.obj ]] || { fail=$((fail + 1)); echo "FAIL outputs written for a non-map"; }
check "stdin that is not a map" 1 "kelvane: -: not a map: file ends inside the header" "$bin/kelvane" info --json - <"$tmp/short.map"
check "/dev/zero is rejected without reading it all" 1 "kelvane: /dev/zero: not a map: no LandFrameStore type entry" "$bin/kelvane" info /dev/zero
check "a pipe of random bytes is rejected" 1 "kelvane: -: not a map: " sh -c "head -c 100000000 /dev/urandom | '$bin/kelvane' info -"

check "demo" 0 "" "$bin/kelvane" demo -o "$tmp/demo.map"
# A damaged map is still a map: it loads with warnings, unless --strict.
head -c -3 "$tmp/demo.map" >"$tmp/cut.map"
check "damaged map warns" 0 "kelvane: $tmp/cut.map: warning: file ends inside lattice record 5" "$bin/kelvane" info "$tmp/cut.map"
check "json of a damaged map from stdin" 0 "" "$bin/kelvane" info --json - <"$tmp/cut.map"
grep -q '"warnings": \["file ends inside lattice record 5' "$tmp/out" || { fail=$((fail + 1)); echo "FAIL json warnings"; }
check "--strict info" 1 "kelvane: $tmp/cut.map: 1 warning(s) and --strict: nothing written" "$bin/kelvane" info --strict "$tmp/cut.map"
[[ ! -s $tmp/out ]] || { fail=$((fail + 1)); echo "FAIL --strict info printed"; }
echo old >"$tmp/kept.obj"
check "--strict export" 1 "and --strict" "$bin/kelvane" export --strict "$tmp/cut.map" -o "$tmp/kept.obj"
check "--strict render" 1 "and --strict" "$bin/kelvane" render --strict "$tmp/cut.map" -o "$tmp/x.png"
[[ $(cat "$tmp/kept.obj") == old && ! -e $tmp/x.png ]] || { fail=$((fail + 1)); echo "FAIL --strict wrote output"; }
check "--strict on a sound map" 0 "" "$bin/kelvane" info --strict "$tmp/demo.map"
check "export" 0 "" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/demo.obj"
[[ $(grep -c '^f ' "$tmp/demo.obj") -gt 1000 && $(grep -c '^vn ' "$tmp/demo.obj") -gt 1000 ]] || { fail=$((fail + 1)); echo "FAIL export has faces and normals"; }
check "export glb" 0 "" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/demo.glb"
check "export gltf" 0 "" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/demo.gltf"
check "export glb to stdout" 0 "" sh -c "'$bin/kelvane' export '$tmp/demo.map' -o - --format glb > '$tmp/stdout.glb'"
cmp -s "$tmp/demo.glb" "$tmp/stdout.glb" || { fail=$((fail + 1)); echo "FAIL glb on stdout differs"; }
# A map with one NaN height: its triangles are left out with one warning; --strict refuses.
printf '{"lattices": [{"id": 1, "position": [0, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [2, 1, 2], "heights": [0, 0, 0, 0, "nan", 0, 0, 0, 0]}]}' >"$tmp/nan.json"
"$bin/kelvane" make-map "$tmp/nan.json" -o "$tmp/nan.map"
check "export of a NaN map warns" 0 "kelvane: $tmp/nan.map: warning: 12 triangle(s) with a non-finite corner left out" "$bin/kelvane" export "$tmp/nan.map" -o "$tmp/nan.obj"
! grep -v "^#" "$tmp/nan.obj" | grep -qi nan || { fail=$((fail + 1)); echo "FAIL nan in the OBJ"; }
check "export of a NaN map with --strict" 1 "kelvane: $tmp/nan.obj.2: a warning and --strict: nothing written" "$bin/kelvane" export --strict "$tmp/nan.map" -o "$tmp/nan.obj.2" --format obj
[[ ! -e $tmp/nan.obj.2 ]] || { fail=$((fail + 1)); echo "FAIL --strict export wrote"; }
check "export to an unwritable place" 1 "kelvane: /nonexistent/x.obj: cannot write in its folder /nonexistent: No such file or directory" "$bin/kelvane" export "$tmp/demo.map" -o /nonexistent/x.obj
check "export needs -o" 2 "kelvane:" "$bin/kelvane" export "$tmp/demo.map"
"$bin/kelvane" info --json "$tmp/demo.map" >"$tmp/demo.json"
check "make-map" 0 "" "$bin/kelvane" make-map "$tmp/demo.json" -o "$tmp/again.map"
check "make-map from stdin" 0 "" "$bin/kelvane" make-map - -o "$tmp/again2.map" <"$tmp/demo.json"
cmp -s "$tmp/again.map" "$tmp/again2.map" || { fail=$((fail + 1)); echo "FAIL make-map stdin"; }
echo '{"lattices": [{"id": 1}]}' >"$tmp/bad.json"
check "make-map names the problem" 1 "kelvane: $tmp/bad.json: lattices[0]: missing \"position\"" "$bin/kelvane" make-map "$tmp/bad.json" -o "$tmp/x.map"
check "render" 0 "" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/demo.png" --size 320x200 --camera 0,2,0,15,-20 --axes
# diff: exit status as diff(1): 0 the same, 1 different, 2 trouble.
cp "$tmp/demo.map" "$tmp/copy.map"
check "diff of a map with its copy" 0 "" "$bin/kelvane" diff "$tmp/demo.map" "$tmp/copy.map"
grep -q "0 moved, 0 reshaped, 0 added, 0 removed, 6 unchanged; other bytes: same" "$tmp/out" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL diff summary: $(cat "$tmp/out")"; }
sed 's/"position": \[-9, 5.5, -5\]/"position": [-9, 6.5, -5]/' "$tmp/demo.json" >"$tmp/moved.json"
"$bin/kelvane" make-map "$tmp/moved.json" -o "$tmp/moved.map"
check "diff finds a moved lattice" 1 "" "$bin/kelvane" diff "$tmp/demo.map" "$tmp/moved.map"
grep -qx "moved 1 (id 2): position (-9, 5.5, -5) -> (-9, 6.5, -5)" "$tmp/out" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL diff line: $(cat "$tmp/out")"; }
check "diff --json from stdin" 1 "" sh -c '"$1" diff - "$2" --json <"$3"' _ "$bin/kelvane" "$tmp/moved.map" "$tmp/demo.map"
python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); assert d["changes"][0]["position"]["new"] == [-9, 6.5, -5]' "$tmp/out" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL diff --json: $(head -c 300 "$tmp/out")"; }
check "diff of what is not a map is trouble" 2 "kelvane: $tmp/demo.json: not a map" "$bin/kelvane" diff "$tmp/demo.map" "$tmp/demo.json"
check "diff of a missing map is trouble" 2 "kelvane: $tmp/none.map: No such file or directory" "$bin/kelvane" diff "$tmp/none.map" "$tmp/demo.map"
check "diff takes one map from stdin" 2 "only one of OLD and NEW" "$bin/kelvane" diff - -
# render --compare: a map compared with itself draws as it does alone; an unreadable OLD is said.
check "render --compare with itself" 0 "" "$bin/kelvane" render "$tmp/demo.map" --compare "$tmp/copy.map" -o "$tmp/self.png"
check "render alone" 0 "" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/alone.png"
cmp -s "$tmp/self.png" "$tmp/alone.png" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL render --compare with itself is not the plain picture"; }
check "render --compare of a missing map" 1 "kelvane: $tmp/none.map: No such file or directory" "$bin/kelvane" render "$tmp/demo.map" --compare "$tmp/none.map" -o "$tmp/none.png"
[[ ! -e $tmp/none.png ]] && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL render --compare wrote a picture without OLD"; }
# patch: diff --json put back into the old map gives the new one, byte for byte.
"$bin/kelvane" make-map "$tmp/demo.json" -o "$tmp/plain.map"
"$bin/kelvane" diff "$tmp/plain.map" "$tmp/moved.map" --json >"$tmp/moved.diff.json"
check "patch" 0 "" "$bin/kelvane" patch "$tmp/plain.map" "$tmp/moved.diff.json" -o "$tmp/patched.map"
cmp -s "$tmp/patched.map" "$tmp/moved.map" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL patch gives the new map"; }
check "patch applied twice names the change" 1 "kelvane: $tmp/moved.diff.json: changes[0]: lattice 1: position[1] is 6.5 in the map, not 5.5" "$bin/kelvane" patch "$tmp/patched.map" "$tmp/moved.diff.json" -o "$tmp/twice.map"
[[ ! -e $tmp/twice.map ]] && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL a refused patch wrote a map"; }
# merge: exit status as git's merge drivers: 0 clean, 1 conflicts (written all the same), 2
# trouble (nothing written). OUT defaults to OURS.
sed 's/"position": \[-9, 5.5, -5\]/"position": [-9, 7.5, -5]/' "$tmp/demo.json" >"$tmp/other.json"
"$bin/kelvane" make-map "$tmp/other.json" -o "$tmp/other.map"
cp "$tmp/moved.map" "$tmp/ours.map"
check "merge of one side's change" 0 "" "$bin/kelvane" merge "$tmp/plain.map" "$tmp/ours.map" "$tmp/plain.map"
cmp -s "$tmp/ours.map" "$tmp/moved.map" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL merge over OURS changed it"; }
check "merge taking theirs into -o" 0 "" "$bin/kelvane" merge "$tmp/plain.map" "$tmp/plain.map" "$tmp/moved.map" -o "$tmp/merged.map"
cmp -s "$tmp/merged.map" "$tmp/moved.map" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL merge did not take theirs"; }
check "merge with a conflict" 1 "" "$bin/kelvane" merge "$tmp/plain.map" "$tmp/moved.map" "$tmp/other.map" -o "$tmp/merged.map" --conflicts "$tmp/conflicts.json"
grep -qx "conflict: lattice 1 (id 2) position: base (-9, 5.5, -5), ours (-9, 6.5, -5), theirs (-9, 7.5, -5)" "$tmp/out" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL merge conflict line: $(cat "$tmp/out")"; }
cmp -s "$tmp/merged.map" "$tmp/moved.map" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL a conflict does not keep ours"; }
python3 -c 'import json, sys; c = json.load(open(sys.argv[1]))["conflicts"][0]; assert c["theirs"] == [-9, 7.5, -5] and c["lattice"] == 1' "$tmp/conflicts.json" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL merge --conflicts: $(head -c 300 "$tmp/conflicts.json")"; }
rm -f "$tmp/merged.map"
# render --merge: the three maps named; a lattice theirs changed is drawn in another colour.
check "render --merge needs three maps" 2 "kelvane: --merge: At least 3 required but received 2" "$bin/kelvane" render "$tmp/moved.map" --merge "$tmp/plain.map" "$tmp/moved.map" -o "$tmp/m.png"
check "render --merge" 0 "" "$bin/kelvane" render "$tmp/moved.map" --merge "$tmp/plain.map" "$tmp/plain.map" "$tmp/moved.map" -o "$tmp/m.png"
check "render plain" 0 "" "$bin/kelvane" render "$tmp/moved.map" -o "$tmp/p.png"
! cmp -s "$tmp/m.png" "$tmp/p.png" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL render --merge draws the plain picture"; }
check "git-setup outside a repository" 1 "kelvane: git-setup: not inside a git repository: run it in one, or give --global" env -C "$tmp" GIT_CEILING_DIRECTORIES="$(dirname "$tmp")" "$bin/kelvane" git-setup
check "merge of what is not a map is trouble" 2 "kelvane: $tmp/demo.json: not a map" "$bin/kelvane" merge "$tmp/plain.map" "$tmp/demo.json" "$tmp/moved.map" -o "$tmp/merged.map"
[[ ! -e $tmp/merged.map ]] && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL a merge in trouble wrote a map"; }
check "merge takes one map from stdin" 2 "only one of BASE, OURS and THEIRS" "$bin/kelvane" merge - - "$tmp/moved.map" -o "$tmp/merged.map"
# dump: the same map prints the same lines; the moved lattice's differ in its placement line.
check "dump" 0 "" "$bin/kelvane" dump "$tmp/moved.map"
cp "$tmp/out" "$tmp/moved.dump"
"$bin/kelvane" dump "$tmp/plain.map" >"$tmp/plain.dump"
[[ $(diff "$tmp/plain.dump" "$tmp/moved.dump" | grep -c '^[<>]') == 2 ]] && grep -q "^1 id 2: position (-9, 6.5, -5), " "$tmp/moved.dump" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL dump lines: $(diff "$tmp/plain.dump" "$tmp/moved.dump")"; }
check "dump of what is not a map" 1 "kelvane: $tmp/demo.json: not a map" "$bin/kelvane" dump "$tmp/demo.json"
# With dump as the textconv of *.map, git diff and git log -p speak in its lines.
repo=$tmp/repo
mkdir -p "$repo" && git -C "$repo" init -q && git -C "$repo" config user.email t@example.org &&
  git -C "$repo" config user.name t && git -C "$repo" config diff.kelvane.textconv "$bin/kelvane dump"
echo '*.map diff=kelvane' >"$repo/.gitattributes"
cp "$tmp/plain.map" "$repo/level.map"
git -C "$repo" add -A && git -C "$repo" commit -qm base
cp "$tmp/moved.map" "$repo/level.map"
git -C "$repo" diff >"$tmp/git.diff"
grep -q -- "^+1 id 2: position (-9, 6.5, -5), " "$tmp/git.diff" && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL git diff in dump lines: $(cat "$tmp/git.diff")"; }
git -C "$repo" commit -qam moved
[[ $(git -C "$repo" log -p -1 | grep -c '^[-+]1 id 2: position') == 2 ]] && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL git log -p in dump lines"; }
[[ $(/usr/bin/identify -format %wx%h "$tmp/demo.png" 2>/dev/null) == 320x200 ]] || { fail=$((fail + 1)); echo "FAIL render size"; }
for size in 0x10 10x0 99999999999x10 10x4294967297 16385x10 -5x10 10x 10 x10 10x10x10 " 10x10" 10.5x10; do
  check "render bad size '$size'" 2 "kelvane: --size: expected WIDTHxHEIGHT" "$bin/kelvane" render "$tmp/demo.map" -o x.png --size "$size"
done
check "a geometry budget that is no number is one warning" 0 "kelvane: warning: KELVANE_GEOMETRY_MB=-5: expected a whole number of megabytes" env KELVANE_GEOMETRY_MB=-5 "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/budget.png" --size 8x8
[[ $(grep -c KELVANE_GEOMETRY_MB "$tmp/err") -eq 1 ]] || { fail=$((fail + 1)); echo "FAIL budget warning not once: $(cat "$tmp/err")"; }
for cam in 1,2,x,4,5 nan,0,0,0,0 inf,0,0,0,0 1e40,0,0,0,0 0x10,0,0,0,0 1,2,3,4,5, 1,2,3,4 ,1,2,3,4 1,2,3,4,5,6; do
  check "render camera $cam" 2 "kelvane: --camera: expected five finite decimal numbers" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/x.png" --camera "$cam"
done
# --select names a drawn lattice; anything else is a usage error that says why.
printf '{"lattices": [{"id": 1, "position": [0, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [2, 2, 2]}, {"id": 0, "position": [0, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [1, 1, 1]}]}' >"$tmp/two.json"
"$bin/kelvane" make-map "$tmp/two.json" -o "$tmp/two.map"
check "--select an undrawn lattice" 2 "kelvane: --select 1: lattice 1 is not drawn (its id is 0)" "$bin/kelvane" render "$tmp/two.map" -o "$tmp/sel.png" --select 1
check "--select past the list" 2 "kelvane: --select 5: the map has 2 lattices" "$bin/kelvane" render "$tmp/two.map" -o "$tmp/sel.png" --select 5
for sel in -1 x 1.5 65535 99999999999 ""; do
  check "--select '$sel'" 2 "kelvane: --select: expected a lattice index" "$bin/kelvane" render "$tmp/two.map" -o "$tmp/sel.png" --select "$sel"
done
[[ ! -e $tmp/sel.png ]] || { fail=$((fail + 1)); echo "FAIL a refused --select wrote a picture"; }
check "--select a drawn lattice" 0 "" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/sel.png" --select 2 --size 64x48
# --hide LIST leaves lattices out as the viewer hides them; what it names must be drawn, and
# a selected lattice cannot be hidden.
check "--hide an undrawn lattice" 2 "kelvane: --hide 1: lattice 1 is not drawn (its id is 0)" "$bin/kelvane" render "$tmp/two.map" -o "$tmp/hide.png" --hide 1
check "--hide past the list" 2 "kelvane: --hide 7: the map has 2 lattices" "$bin/kelvane" render "$tmp/two.map" -o "$tmp/hide.png" --hide 0,7
for list in "" 3,1 1-0 a 1,,2 -1 65535; do
  check "--hide '$list'" 2 "kelvane: --hide: expected increasing lattice indices" "$bin/kelvane" render "$tmp/two.map" -o "$tmp/hide.png" --hide "$list"
done
check "--select a hidden lattice" 2 "kelvane: --select 2: lattice 2 is hidden by --hide" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/hide.png" --select 2 --hide 1-3
[[ ! -e $tmp/hide.png ]] || { fail=$((fail + 1)); echo "FAIL a refused --hide wrote a picture"; }
check "--hide drawn lattices" 0 "" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/hide.png" --hide 0-2 --size 64x48
[[ $(/usr/bin/compare -metric AE "$tmp/hide.png" "$tmp/sel.png" null: 2>&1) != 0 ]] || { fail=$((fail + 1)); echo "FAIL --hide drew the same"; }
"$bin/kelvane" render "$tmp/demo.map" -o "$tmp/wholefit.png" --fit 2>"$tmp/wholefit.err"
check "--grid without --select" 2 "kelvane: --grid: draws the cell grid of the selected lattice; give --select INDEX" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/grid.png" --grid
check "--grid draws over the selection" 0 "" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/grid.png" --select 2 --grid --size 64x48
[[ $(/usr/bin/compare -metric AE "$tmp/grid.png" "$tmp/sel.png" null: 2>&1) != 0 ]] || { fail=$((fail + 1)); echo "FAIL --grid drew no grid"; }
# --path: a flight of three keyframes (4 s, one held half a second) at 10 frames a second is
# 46 frames; the first is render --camera's picture of the first keyframe, the last of the
# last; -o OUT.webm is a VP9 video of as many frames, which ffprobe reads.
printf '# a flight\n--camera 0,0,0,0,0\n\n--camera 0,0,10,30,0 --hold 0.5  # closer\n--camera 5,0,20,30,350\n' >"$tmp/keys.txt"
check "--path writes frames" 0 "" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --fps 10 --size 160x120 --hide 1 -o "$tmp/flight"
[[ $(find "$tmp/flight" -name 'frame*.png' | wc -l) == 46 && -f $tmp/flight/frame0046.png ]] || { fail=$((fail + 1)); echo "FAIL --path frame count: $(ls "$tmp/flight" | head -3)"; }
"$bin/kelvane" render "$tmp/demo.map" --camera 0,0,0,0,0 --size 160x120 --hide 1 -o "$tmp/first.png"
"$bin/kelvane" render "$tmp/demo.map" --camera 5,0,20,30,350 --size 160x120 --hide 1 -o "$tmp/last.png"
for end in "first frame0001" "last frame0046"; do
  [[ $(/usr/bin/compare -metric AE "$tmp/${end% *}.png" "$tmp/flight/${end#* }.png" null: 2>&1) == 0 ]] || { fail=$((fail + 1)); echo "FAIL the $end of the flight is not render --camera's"; }
done
[[ $(/usr/bin/compare -metric AE "$tmp/flight/frame0020.png" "$tmp/first.png" null: 2>&1) != 0 ]] || { fail=$((fail + 1)); echo "FAIL the flight does not move"; }
check "--path writes a video" 0 "" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --fps 10 --size 160x120 -o "$tmp/flight.webm"
probe=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 "$tmp/flight.webm" 2>&1)
[[ $probe == "vp9,160,120,46" ]] || { fail=$((fail + 1)); echo "FAIL the video reads as '$probe'"; }
printf -- '--camera 0,0,0,0,0\n# fine\n--camera 1,2,3\n' >"$tmp/bad-keys.txt"
check "a malformed keyframe file names its line" 1 "kelvane: $tmp/bad-keys.txt: line 3: --camera: expected five" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/bad-keys.txt" -o "$tmp/bad"
check "--path with --camera" 2 "kelvane: --path: the keyframes give the cameras" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --camera 0,0,0,0,0 -o "$tmp/bad"
check "--path to standard output" 2 "kelvane: --path: writes a folder of frames or a .webm file" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" -o -
check "--fps out of range" 2 "kelvane: --fps: expected frames a second" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --fps 0 -o "$tmp/bad"
[[ ! -e $tmp/bad ]] || { fail=$((fail + 1)); echo "FAIL a refused --path made its output"; }
# Flights a hostile reading found wrong: a folder of an earlier flight is refused (the encoder
# would read its tail) unless --force, which removes it; a link planted as a frame's name is
# replaced, its target untouched; a flight too long to number is a usage error naming its count;
# a long one says its count and size first; video names are told apart without case.
check "a folder with frames is refused" 1 "holds 46 frames of an earlier flight" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --fps 2 --size 32x24 -o "$tmp/flight"
[[ $(find "$tmp/flight" -name 'frame*.png' | wc -l) == 46 ]] || { fail=$((fail + 1)); echo "FAIL a refused flight changed the folder"; }
check "--force replaces them" 0 "" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --fps 2 --size 32x24 -o "$tmp/flight" --force
[[ $(find "$tmp/flight" -name 'frame*.png' | wc -l) == 10 ]] || { fail=$((fail + 1)); echo "FAIL --force left $(find "$tmp/flight" -name 'frame*.png' | wc -l) frames, want 10"; }
mkdir -p "$tmp/shared"
echo "someone else's" >"$tmp/victim.txt"
ln -s "$tmp/victim.txt" "$tmp/shared/frame0001.png"
check "a planted link among the frames is refused" 1 "frames of an earlier flight" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --fps 2 --size 32x24 -o "$tmp/shared"
check "and with --force replaced" 0 "" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --fps 2 --size 32x24 -o "$tmp/shared" --force
[[ $(cat "$tmp/victim.txt") == "someone else's" && -f $tmp/shared/frame0001.png && ! -L $tmp/shared/frame0001.png ]] || { fail=$((fail + 1)); echo "FAIL the planted link's target was written"; }
for i in $(seq 2485); do echo "--camera 0,0,$i,0,0 --hold 3600"; done >"$tmp/endless.txt"
check "a flight too long to number" 2 "the flight takes 2148232321 frames at 240 frames a second; at most 2147483647" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/endless.txt" --fps 240 -o "$tmp/endless.webm"
[[ ! -e $tmp/endless.webm ]] || { fail=$((fail + 1)); echo "FAIL a refused flight wrote a video"; }
echo "--camera 0,0,0,0,0 --hold 3600" >"$tmp/hour.txt"
timeout 20 "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/hour.txt" --fps 240 --size 16x16 -o "$tmp/hour" 2>"$tmp/err" &
for _ in $(seq 100); do grep -q "of frames" "$tmp/err" && break; sleep 0.1; done
kill %% 2>/dev/null; wait 2>/dev/null
grep -q "hour: 864001 frames of 16x16, 3600 seconds at 240 frames a second" "$tmp/err" && grep -qE "hour: about [0-9.]+ [kMG]B of frames" "$tmp/err" ||
  { fail=$((fail + 1)); echo "FAIL a long flight does not say its size first: $(head -c 300 "$tmp/err")"; }
check "-o NAME.WEBM writes a video" 0 "" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --fps 2 --size 32x24 -o "$tmp/Flight.WEBM"
[[ -f $tmp/Flight.WEBM ]] || { fail=$((fail + 1)); echo "FAIL -o Flight.WEBM is no video"; }
check "-o flight.mp4 is refused" 2 "writes a VP9 video as .webm only" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" -o "$tmp/flight.mp4"
[[ ! -e $tmp/flight.mp4 ]] || { fail=$((fail + 1)); echo "FAIL -o flight.mp4 wrote something"; }
ln -s /dev/full "$tmp/full.webm"
check "a full disk says so" 1 "No space left on device" "$bin/kelvane" render "$tmp/demo.map" --path "$tmp/keys.txt" --fps 2 --size 32x24 -o "$tmp/full.webm"
head -c 10000000 /dev/zero | tr '\0' x >"$tmp/longline.txt"
"$bin/kelvane" render "$tmp/demo.map" --path "$tmp/longline.txt" -o "$tmp/bad" 2>"$tmp/err"
[[ $(wc -c <"$tmp/err") -lt 300 ]] && grep -q "line 1: expected --camera" "$tmp/err" || { fail=$((fail + 1)); echo "FAIL a 10 MB line is echoed: $(wc -c <"$tmp/err") bytes"; }
check "--fit --hide fits what is shown" 0 "--camera " "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/hidefit.png" --hide 0 --fit
[[ $(grep -- --camera "$tmp/err") != $(grep -- --camera "$tmp/wholefit.err") ]] || { fail=$((fail + 1)); echo "FAIL --fit --hide fits the whole map"; }
check "--fit --select frames that lattice" 0 "--camera " "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/selfit.png" --select 2 --fit
"$bin/kelvane" render "$tmp/demo.map" -o "$tmp/allfit.png" --fit 2>"$tmp/allfit.err"
[[ $(grep -- --camera "$tmp/err") != $(grep -- --camera "$tmp/allfit.err") ]] || { fail=$((fail + 1)); echo "FAIL --fit --select fits the whole map"; }
# thumbnail: a square PNG whatever the name, quiet; sizes from 16 to 1024; no file for a non-map.
check "thumbnail" 0 "" "$bin/kelvane" thumbnail -s 48 "$tmp/demo.map" "$tmp/thumb.any"
[[ $(/usr/bin/identify -format %m:%wx%h "$tmp/thumb.any" 2>/dev/null) == PNG:48x48 && ! -s $tmp/out && ! -s $tmp/err ]] || { fail=$((fail + 1)); echo "FAIL thumbnail picture or quiet"; }
for sz in 15 1025 x 64x64 ""; do
  check "thumbnail -s '$sz'" 2 "kelvane: -s: expected a size in pixels from 16 to 1024" "$bin/kelvane" thumbnail -s "$sz" "$tmp/demo.map" "$tmp/thumb2.png"
done
check "thumbnail of what is not a map" 1 "not a map" "$bin/kelvane" thumbnail -s 64 "$tmp/noise.map" "$tmp/thumb3.png"
[[ ! -e $tmp/thumb2.png && ! -e $tmp/thumb3.png ]] || { fail=$((fail + 1)); echo "FAIL a failed thumbnail left a file"; }
# A thumbnailer runs on whatever lands in a folder: 60 lattices of 255 x 255 x 255 cells (47 M
# triangles from 8.6 kB) take seconds, not minutes, as boxes past 2 M triangles.
box255() { printf '{"id": 1, "position": [%d, %d, 0], "rotation": [0, %d, 0], "cellSize": [1, 1, 1], "cells": [255, 255, 255]}' "$@"; }
{ printf '{"lattices": [%s' "$(box255 0 0 0)"; for i in $(seq 59); do printf ', %s' "$(box255 $((i * 4)) $((i * 2)) "$i")"; done; printf ']}'; } >"$tmp/sixty.json"
"$bin/kelvane" make-map "$tmp/sixty.json" -o "$tmp/sixty.map"
check "thumbnail of 47 M triangles within 10 s" 0 "" timeout $([[ $build == plain ]] && echo 10 || echo 60) "$bin/kelvane" thumbnail -s 256 "$tmp/sixty.map" "$tmp/sixty.png"
[[ $(/usr/bin/convert "$tmp/sixty.png" -format '%[fx:mean>0.2]' info:) == 1 ]] || { fail=$((fail + 1)); echo "FAIL the huge map's thumbnail shows nothing"; }
# A scene deeper than the plain view's 1000 units: the fitted view pushes its far plane out to
# hold all of it and says so as --far, which render takes back; a fitted view that shows no
# lattice is a failure, not a black picture; a map with nothing drawn gives its empty picture.
tile() { printf '{"id": %d, "position": [%d, 0, %d], "rotation": [0, 0, 0], "cellSize": [100, 100, 100], "cells": [4, 1, 4]}' "$@"; }
printf '{"lattices": [%s, %s, %s]}' "$(tile 1 0 0)" "$(tile 2 9000 -9000)" "$(tile 3 -3000 3000)" >"$tmp/deep.json"
"$bin/kelvane" make-map "$tmp/deep.json" -o "$tmp/deep.map"
check "render --fit of a deep map" 0 "" "$bin/kelvane" render "$tmp/deep.map" --fit -o "$tmp/deep.png" --size 320x240
line=$(grep -- --camera "$tmp/err")
[[ $line == *" --far "* ]] || { fail=$((fail + 1)); echo "FAIL --fit of a deep map prints no --far: $line"; }
# shellcheck disable=SC2086
check "render takes the fitted line back" 0 "" "$bin/kelvane" render "$tmp/deep.map" -o "$tmp/deep-line.png" --size 320x240 $line
cmp -s "$tmp/deep.png" "$tmp/deep-line.png" || { fail=$((fail + 1)); echo "FAIL render with --fit's line is not --fit's picture"; }
for t in 0 1 2; do # each tile is in the picture: the three lattices, shown one at a time
  hide=$(printf '%s\n' 0 1 2 | grep -vx "$t" | paste -sd,)
  # shellcheck disable=SC2086
  "$bin/kelvane" render "$tmp/deep.map" -o "$tmp/deep-$t.png" --size 320x240 $line --hide "$hide" 2>/dev/null
  [[ $(/usr/bin/convert "$tmp/deep-$t.png" -format '%[fx:maxima>0]' info:) == 1 ]] || { fail=$((fail + 1)); echo "FAIL tile $t of the deep map is not in the fitted view"; }
done
check "thumbnail of a deep map" 0 "" "$bin/kelvane" thumbnail -s 64 "$tmp/deep.map" "$tmp/deep-thumb.png"
[[ $(/usr/bin/convert "$tmp/deep-thumb.png" -format '%[fx:maxima>0]' info:) == 1 ]] || { fail=$((fail + 1)); echo "FAIL the deep map's thumbnail is black"; }
check "render --far below 1" 2 "kelvane: --far: expected how far the view reaches, a number of at least 1 (got '0.5')" "$bin/kelvane" render "$tmp/deep.map" --far 0.5 -o "$tmp/far.png"
check "a fitted view that shows nothing fails" 1 "nothing of the map is in the picture" "$bin/kelvane" render "$tmp/demo.map" --fit --section -1000 -o "$tmp/cut-away.png"
[[ ! -e $tmp/cut-away.png ]] || { fail=$((fail + 1)); echo "FAIL an empty fitted view wrote a picture"; }
printf '{"lattices": [{"id": 0, "position": [0, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [1, 1, 1]}]}' >"$tmp/undrawn.json"
"$bin/kelvane" make-map "$tmp/undrawn.json" -o "$tmp/undrawn.map"
check "thumbnail of a map with nothing drawn" 0 "no lattice is drawn; the picture is empty" "$bin/kelvane" thumbnail -s 32 "$tmp/undrawn.map" "$tmp/none-thumb.png"
[[ -s $tmp/none-thumb.png ]] || { fail=$((fail + 1)); echo "FAIL the empty map's thumbnail was not written"; }
check "render camera with exponent" 0 "" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/cam.png" --size 8x8 --camera "-1.5e1,+2,0.,10,-30"
check "render to .jpg" 2 "kelvane: -o $tmp/out.jpg: writes .png files only" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/out.jpg"
check "export to .png" 2 "writes .obj, .glb or .gltf files" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/out.png"
check "export --format disagrees with the name" 2 "-o $tmp/out.obj and --format glb disagree" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/out.obj" --format glb
check "export --format of no kind" 2 "--format" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/out.obj" --format png
[[ ! -e $tmp/out.jpg && ! -e $tmp/out.png ]] || { fail=$((fail + 1)); echo "FAIL output written on a usage error"; }
check "render to a full disk" 1 "kelvane: /dev/full: No space left on device" "$bin/kelvane" render "$tmp/demo.map" -o /dev/full
! grep -q libpng "$tmp/err" || { fail=$((fail + 1)); echo "FAIL libpng's own message shown"; }
check "render without an EGL driver" 1 "kelvane: render: no OpenGL driver to draw without a display" env __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/x.png"
grep -q "apt-get install libegl-mesa0" "$tmp/err" || { fail=$((fail + 1)); echo "FAIL EGL message names no package"; }

# A .glb past its 32-bit lengths is refused before anything is written, at once: the cells
# give its size (53 lattices of 255 x 255 x 255 cells: 4.47 GB of buffer, from a map of a few
# kilobytes).
cube='{"id": 1, "position": [0, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [255, 255, 255]}'
{ printf '{"lattices": [%s' "$cube"; for _ in $(seq 52); do printf ', %s' "$cube"; done; printf ']}'; } >"$tmp/huge.json"
"$bin/kelvane" make-map "$tmp/huge.json" -o "$tmp/huge.map"
check "a .glb past 4 GiB is refused" 1 "kelvane: $tmp/huge.glb: the .glb would take more than 4466437228 bytes, more than its 32-bit lengths can hold" timeout 20 "$bin/kelvane" export "$tmp/huge.map" -o "$tmp/huge.glb"
grep -qF "Export as .obj" "$tmp/err" || { fail=$((fail + 1)); echo "FAIL the .glb refusal points at OBJ"; }
[[ -z $(ls -A "$tmp" | grep huge.glb) ]] || { fail=$((fail + 1)); echo "FAIL a refused .glb left a file"; }

# A frame that OpenGL reports as failed is no picture: a stand-in glGetError says it ran out
# of memory. (Preloading does not mix with the sanitizers' runtime.)
if [[ $build == plain ]] && command -v cc >/dev/null; then
  printf 'unsigned glGetError(void) { return 0x0505; }\n' >"$tmp/glerror.c"
  cc -shared -fPIC -o "$tmp/glerror.so" "$tmp/glerror.c"
  check "a frame that failed is not written" 1 "kelvane: render: the frame did not draw (OpenGL error 0x0505)" env LD_PRELOAD="$tmp/glerror.so" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/failed.png"
  [[ ! -e $tmp/failed.png ]] || { fail=$((fail + 1)); echo "FAIL a failed frame was written"; }
fi

# Retained arrays and immediate mode draw the same picture, at cameras that put lattices partly
# or wholly out of view, with the axis lines: the demo, and a map of big lattices with
# heights, insets, rotations and a parent. The arrays are drawn from buffer objects (OpenGL
# 1.5), from ARB_vertex_buffer_object on a driver made to say OpenGL 1.4, and from client
# arrays on one that says 1.4 without the extension.
heights=$(awk 'BEGIN { for (i = 0; i < 41 * 31; i++) printf "%s%.4f", (i ? "," : ""), sin(i * 0.3) * 0.7 }')
cat >"$tmp/rich.json" <<JSON
{"lattices": [
 {"id": 1, "position": [0, -5, 0], "rotation": [0.2, 0.4, 0], "cellSize": [1, 0.5, 1], "cells": [40, 3, 30],
  "heights": [$heights], "minInsets": [[0, 0], [0.4, 0.2], [0.8, 0.4], [1.2, 0.6]],
  "maxInsets": [[0, 0], [-0.3, -0.1], [-0.6, -0.2], [-0.9, -0.3]]},
 {"id": 2, "position": [25, 3, 0], "rotation": [0, 0.9, 0.3], "cellSize": [0.7, 1.3, 0.45], "cells": [12, 4, 9], "parent": 0}]}
JSON
check "make-map of a rich map" 0 "" "$bin/kelvane" make-map "$tmp/rich.json" -o "$tmp/rich.map"
for map in demo rich; do
  for cam in 0,0,0,0,0 0,0,0,30,-45 -30,0,10,0,90 0,20,0,90,0 25,0,30,10,60 0,0,-200,0,180; do
    KELVANE_GEOMETRY_MB=0 "$bin/kelvane" render "$tmp/$map.map" -o "$tmp/immediate.png" --camera "$cam" --axes --size 320x240
    for gl in buffers arb client; do
      case $gl in
        buffers) env=() ;;
        arb) env=(MESA_GL_VERSION_OVERRIDE=1.4) ;;
        client) env=(MESA_GL_VERSION_OVERRIDE=1.4 MESA_EXTENSION_OVERRIDE=-GL_ARB_vertex_buffer_object) ;;
      esac
      # A flight builds the arrays; one picture is drawn immediately.
      printf -- '--camera %s\n' "$cam" >"$tmp/one.keys"
      env "${env[@]}" "$bin/kelvane" render "$tmp/$map.map" --path "$tmp/one.keys" -o "$tmp/retained" --force --axes --size 320x240 2>/dev/null
      diff=$(/usr/bin/compare -metric AE "$tmp/retained/frame0001.png" "$tmp/immediate.png" null: 2>&1)
      [[ $diff == 0 ]] && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL retained ($gl) $map $cam: $diff pixels differ"; }
    done
  done
done

# --fit brings every lattice into the frame: for random maps and views, no lit pixel on the
# picture's border, and the scene at least a third of the frame across or down.
check "--fit prints the camera" 0 "--camera " "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/fit.png" --fit
grep -qE -- "^--camera [-0-9.e]+,[-0-9.e]+,[-0-9.e]+,30,-45$" "$tmp/err" || { fail=$((fail + 1)); echo "FAIL --fit default view: $(cat "$tmp/err")"; }
for seed in 1 2 3 4 5 6; do
  awk -v seed=$seed 'BEGIN {
    srand(seed); n = 1 + int(rand() * 4); printf "{\"lattices\": ["
    for (l = 0; l < n; l++)
      printf "%s{\"id\": 1, \"position\": [%.2f, %.2f, %.2f], \"rotation\": [%.2f, %.2f, %.2f], \"cellSize\": [%.2f, %.2f, %.2f], \"cells\": [%d, %d, %d]%s}", \
        (l ? "," : ""), rand() * 300 - 150, rand() * 60 - 30, rand() * 300 - 150, rand() * 3, rand() * 3, rand() * 3,
        0.5 + rand() * 3, 0.5 + rand() * 2, 0.5 + rand() * 3, 1 + int(rand() * 12), 1 + int(rand() * 4), 1 + int(rand() * 12),
        (l ? ", \"parent\": 0" : "")
    printf "]}\n"
    printf "%.1f,%.1f\n", rand() * 120 - 60, rand() * 360 - 180 > "/dev/stderr"
  }' >"$tmp/fit$seed.json" 2>"$tmp/view$seed"
  "$bin/kelvane" make-map "$tmp/fit$seed.json" -o "$tmp/fit$seed.map"
  size=$((200 + seed * 60))x$((150 + seed * 40))
  "$bin/kelvane" render "$tmp/fit$seed.map" -o "$tmp/fit$seed.png" --size "$size" --fit --camera "9,9,9,$(cat "$tmp/view$seed")" 2>"$tmp/err"
  read -r w h x y < <(/usr/bin/convert "$tmp/fit$seed.png" -bordercolor black -border 1 -format '%@' info: | tr 'x+' '  ')
  W=${size%x*} H=${size#*x}
  if [[ -n $w && $x -ge 2 && $y -ge 2 && $((x + w)) -le $W && $((y + h)) -le $H && ( $((3 * w)) -ge $W || $((3 * h)) -ge $H ) ]]; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1)); echo "FAIL --fit seed $seed ($size, view $(cat "$tmp/view$seed")): scene at ${w}x${h}+$((x - 1))+$((y - 1)); $(cat "$tmp/err")"
  fi
done

# The Khronos glTF Validator finds no error or warning in the demo and the rich map.
check "export rich glb" 0 "" "$bin/kelvane" export "$tmp/rich.map" -o "$tmp/rich.glb"
check "export rich gltf" 0 "" "$bin/kelvane" export "$tmp/rich.map" -o "$tmp/rich.gltf"
check "glTF validator" 0 "" env NODE_PATH="$root/.tools/node_modules" node "$root/tests/validate_gltf.js" "$tmp/demo.glb" "$tmp/demo.gltf" "$tmp/rich.glb" "$tmp/rich.gltf"
[[ $(grep -c ": 0 errors, 0 warnings" "$tmp/out") == 4 ]] || { fail=$((fail + 1)); echo "FAIL validator: $(cat "$tmp/out")"; }

# A gigabyte of OBJ is streamed: memory stays the same whatever the triangle count.
if [[ $build == plain ]]; then
  awk 'BEGIN {
    printf "{\"lattices\": ["
    for (l = 0; l < 40; l++) {
      printf "%s{\"id\": 1, \"position\": [%d, 0, %d], \"rotation\": [0, 0, 0], \"cellSize\": [1, 1, 1],", (l ? "," : ""), (l % 8) * 200, int(l / 8) * 200
      printf " \"cells\": [180, 1, 180], \"heights\": ["
      for (s = 0; s < 181 * 181; s++) printf "%s%.6g", (s ? "," : ""), sin(s * 0.01) * 2
      printf "]}"
    }
    printf "]}\n"
  }' >"$tmp/forty.json"
  "$bin/kelvane" make-map "$tmp/forty.json" -o "$tmp/forty.map"
  peak=$(python3 -c "
import resource, subprocess, sys
subprocess.run([sys.argv[1], 'export', sys.argv[2], '-o', '/dev/null', '--format', 'obj'], check=True)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024)" "$bin/kelvane" "$tmp/forty.map")
  # 64 MiB, the map's own bytes, which a loaded map keeps (to be written back), and 16 MiB for
  # each further core the export places lattices on (up to eight): a lattice and its winding's
  # tables a core.
  cores=$(nproc --all)
  ((cores > 8)) && cores=8
  bound=$((64 + $(stat -c %s "$tmp/forty.map") / 1048576 + 1 + 16 * (cores - 1)))
  [[ -n $peak && $peak -lt $bound ]] && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL 1 GB export peaked at ${peak:-?} MiB (bound $bound)"; }
  # One picture of the same 2.6 M triangles holds no arrays of them: within 256 MiB of the
  # demo's picture (arrays and their buffer would take 250 MiB more).
  renderPeak() {
    python3 -c "
import resource, subprocess, sys
subprocess.run([sys.argv[1], 'render', sys.argv[2], '-o', sys.argv[3], '--fit'], check=True, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024)" "$bin/kelvane" "$1" "$tmp/peak.png"
  }
  small=$(renderPeak "$tmp/demo.map") big=$(renderPeak "$tmp/forty.map")
  [[ -n $small && -n $big && $big -lt $((small + 256)) ]] && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL one picture of 2.6 M triangles peaked at ${big:-?} MiB, the demo's at ${small:-?} MiB"; }
fi

# Outputs are whole or absent: a failure leaves the old file and no temporary behind.
echo old >"$tmp/kept.png"
check "render failure keeps the old file" 1 "" env __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/kept.png"
[[ $(cat "$tmp/kept.png") == old ]] || { fail=$((fail + 1)); echo "FAIL old output replaced"; }
check "export onto a directory" 1 "kelvane: $tmp/adir.obj: " sh -c "mkdir -p '$tmp/adir.obj' && '$bin/kelvane' export '$tmp/demo.map' -o '$tmp/adir.obj'"
[[ -z $(find "$tmp" -name '.kelvane-*.tmp') ]] || { fail=$((fail + 1)); echo "FAIL temporaries left: $(find "$tmp" -name '.kelvane-*.tmp')"; }

# Replacing an output keeps what the user set on it: the permission bits, a symbolic link
# (its target is replaced), and room for a name near the file system's 255-byte limit.
mkdir -p "$tmp/set"
echo old >"$tmp/set/private.obj"
chmod 600 "$tmp/set/private.obj"
check "export over a file of mode 600" 0 "" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/set/private.obj"
[[ $(stat -c %a "$tmp/set/private.obj") == 600 ]] || { fail=$((fail + 1)); echo "FAIL mode 600 became $(stat -c %a "$tmp/set/private.obj")"; }
mkdir -p "$tmp/set/real"
echo old >"$tmp/set/real/target.obj"
ln -s real/target.obj "$tmp/set/link.obj"
ln -s "$tmp/set/real/absent.obj" "$tmp/set/dangling.obj"
check "export through a symbolic link" 0 "" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/set/link.obj"
check "export through a link to no file yet" 0 "" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/set/dangling.obj"
[[ -L $tmp/set/link.obj && -L $tmp/set/dangling.obj && $(grep -c '^f ' "$tmp/set/real/target.obj") -gt 1000 &&
   -s $tmp/set/real/absent.obj ]] || { fail=$((fail + 1)); echo "FAIL a link was replaced, or its target not: $(ls -l "$tmp/set" "$tmp/set/real")"; }
long=$(printf 'n%.0s' $(seq 242)).obj # 246 bytes
check "export to a 246-byte name" 0 "" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/set/$long"
[[ -s $tmp/set/$long ]] || { fail=$((fail + 1)); echo "FAIL no file with a 246-byte name"; }
[[ -z $(find "$tmp/set" -name '.kelvane-*.tmp') ]] || { fail=$((fail + 1)); echo "FAIL temporaries left in set/"; }

# The map's name goes into the OBJ header as one comment line, whatever it holds: a newline
# in it cannot inject a vertex and shift every face's indices.
evil=$'evil\nv 0 0 0 1 1 1\n.map'
cp "$tmp/demo.map" "$tmp/$evil"
check "export of a map whose name holds newlines" 0 "" "$bin/kelvane" export "$tmp/$evil" -o "$tmp/evil.obj"
[[ $(grep -c '^v ' "$tmp/evil.obj") -eq $((3 * $(grep -c '^f ' "$tmp/evil.obj"))) ]] &&
  grep -qF '# Kelvane map export of '"$tmp"'/evil\x0Av 0 0 0 1 1 1\x0A.map' "$tmp/evil.obj" ||
  { fail=$((fail + 1)); echo "FAIL OBJ header: $(head -c 300 "$tmp/evil.obj")"; }

# A signal the caller ignored (nohup, a script's background job) is no request to stop: the
# export goes on and writes its file. Signals that were not ignored still stop it cleanly.
# The signal goes once the temporary exists, so the export is surely under way.
if [[ $build == plain ]]; then
  printf '{"lattices": [{"id": 1, "position": [0, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [200, 60, 200]}]}' >"$tmp/slab.json"
  "$bin/kelvane" make-map "$tmp/slab.json" -o "$tmp/slab.map"
  mkdir -p "$tmp/sig"
  for case in HUP:ignored INT:ignored HUP:default TERM:default; do
    sig=${case%:*} how=${case#*:}
    rm -f "$tmp/sig/"*.obj
    if [[ $how == ignored ]]; then trap '' "$sig"; fi
    "$bin/kelvane" export "$tmp/slab.map" -o "$tmp/sig/out.obj" 2>"$tmp/sig.err" &
    pid=$!
    trap - "$sig"
    for _ in $(seq 200); do [[ -n $(ls -A "$tmp/sig") ]] && break; sleep 0.05; done
    kill -"$sig" $pid
    wait $pid
    rc=$?
    if [[ $how == ignored ]]; then
      [[ $rc -eq 0 && $(tail -1 "$tmp/sig/out.obj") == "# 1 lattices drawn, "* ]] && pass=$((pass + 1)) ||
        { fail=$((fail + 1)); echo "FAIL ignored SIG$sig: exit $rc, output $(ls -A "$tmp/sig")"; }
    else
      [[ $rc -gt 128 && -z $(ls -A "$tmp/sig") ]] && pass=$((pass + 1)) ||
        { fail=$((fail + 1)); echo "FAIL SIG$sig: exit $rc, left $(ls -A "$tmp/sig")"; }
    fi
  done
fi

check "viewer --help" 0 "" "$bin/kelvane-viewer" --help
grep -q "Usage: kelvane-viewer MAP" "$tmp/out" || { fail=$((fail + 1)); echo "FAIL viewer --help text"; }
check "viewer --version" 0 "" "$bin/kelvane-viewer" --version
grep -q "^kelvane-viewer [0-9]" "$tmp/out" || { fail=$((fail + 1)); echo "FAIL viewer --version text"; }
check "render missing map" 1 "kelvane: $tmp/none.map: No such file or directory" "$bin/kelvane" render "$tmp/none.map" -o "$tmp/x.png"

echo "$pass passed, $fail failed"
[[ $fail -eq 0 ]]
