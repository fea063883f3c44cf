#!/usr/bin/env bash
# The end-to-end and web tests again with both cores of the machine kept busy by two loops of
# `yes`: no check may depend on the machine being idle. Usage: busy_test.sh BUILD WEB_SITE
set -u
build=$1
site=$2
root=$(cd "$(dirname "$0")/.." && pwd)
loads=()
trap 'kill "${loads[@]}" 2>/dev/null' EXIT
for _ in 1 2; do
  yes >/dev/null &
  loads+=($!)
done
status=0
(cd "$build" && ctest -R '^viewer_e2e$' --output-on-failure) || status=1
"$root/tests/web/web_test.sh" "$site" "$build/bin" || status=1
exit $status
