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

echo "$pass passed, $fail failed"
[[ $fail -eq 0 ]]
