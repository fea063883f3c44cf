#!/usr/bin/env bash
# The `kelvane` command as a user meets it: exit codes and the messages on stderr.
set -u
bin=$1
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
printf 'short' >"$tmp/short.map"
check "truncated map warns" 0 "kelvane: $tmp/short.map: warning: file ends inside the header" "$bin/kelvane" info "$tmp/short.map"
check "stdin" 0 "warning: file ends" "$bin/kelvane" info - <"$tmp/short.map"
check "json of stdin" 0 "" "$bin/kelvane" info --json - <"$tmp/short.map"
grep -q '"warnings": \["file ends inside the header' "$tmp/out" || { fail=$((fail + 1)); echo "FAIL json warnings"; }

check "demo" 0 "" "$bin/kelvane" demo -o "$tmp/demo.map"
check "export" 0 "" "$bin/kelvane" export "$tmp/demo.map" -o "$tmp/demo.obj"
[[ $(grep -c '^f ' "$tmp/demo.obj") -gt 1000 ]] || { fail=$((fail + 1)); echo "FAIL export has faces"; }
check "export to an unwritable place" 1 "kelvane: /nonexistent/x.obj: No such file or directory" "$bin/kelvane" export "$tmp/demo.map" -o /nonexistent/x.obj
check "export needs -o" 2 "kelvane:" "$bin/kelvane" export "$tmp/demo.map"
"$bin/kelvane" info --json "$tmp/demo.map" >"$tmp/demo.json"
check "make-map" 0 "" "$bin/kelvane" make-map "$tmp/demo.json" -o "$tmp/again.map"
check "make-map from stdin" 0 "" "$bin/kelvane" make-map - -o "$tmp/again2.map" <"$tmp/demo.json"
cmp -s "$tmp/again.map" "$tmp/again2.map" || { fail=$((fail + 1)); echo "FAIL make-map stdin"; }
echo '{"lattices": [{"id": 1}]}' >"$tmp/bad.json"
check "make-map names the problem" 1 "kelvane: $tmp/bad.json: lattices[0]: missing \"position\"" "$bin/kelvane" make-map "$tmp/bad.json" -o "$tmp/x.map"
check "render" 0 "" "$bin/kelvane" render "$tmp/demo.map" -o "$tmp/demo.png" --size 320x200 --camera 0,2,0,15,-20 --axes
[[ $(/usr/bin/identify -format %wx%h "$tmp/demo.png" 2>/dev/null) == 320x200 ]] || { fail=$((fail + 1)); echo "FAIL render size"; }
check "render bad size" 2 "kelvane: --size: expected WIDTHxHEIGHT" "$bin/kelvane" render "$tmp/demo.map" -o x.png --size 0x10
check "render bad camera" 2 "kelvane: --camera: expected TX,TY,TZ,PITCH,YAW" "$bin/kelvane" render "$tmp/demo.map" -o x.png --camera 1,2,x,4,5
check "render missing map" 1 "kelvane: $tmp/none.map: No such file or directory" "$bin/kelvane" render "$tmp/none.map" -o "$tmp/x.png"

echo "$pass passed, $fail failed"
[[ $fail -eq 0 ]]
