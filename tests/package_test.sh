#!/usr/bin/env bash
# The packages as a user meets them: the .deb passes lintian, unpacks to a tree whose programs
# run and whose man pages render cleanly and whose desktop entry validates, the same tree as
# `cmake --install`; the Windows zip holds both programs, and its kelvane.exe prints the same
# JSON under Wine as the Linux build; the web zip holds the site.
set -u
dist=$1  # dist/
build=$2 # build/ (the Linux build the .deb came from)
tmp=$(mktemp -d)
source "$(dirname "$0")/e2e/lib.sh"
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null; rm -rf "$tmp"' EXIT
version=$("$build/bin/kelvane" --version | awk '{print $2}')
deb="$dist/kelvane_${version}_amd64.deb"
zip="$dist/kelvane-${version}-windows-x86_64.zip"

check "the .deb exists" [ -f "$deb" ]
lintian --tag-display-limit 0 "$deb" >"$tmp/lintian" 2>&1
noErrors() { ! grep -q '^E:' "$1"; }
quiet() { "$@" >/dev/null 2>&1; }
check "lintian reports no errors" noErrors "$tmp/lintian"
grep -E '^[EW]:' "$tmp/lintian" | sed 's/^/  lintian: /'

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
check "desktop entry validates" desktop-file-validate "$root/usr/share/applications/kelvane-viewer.desktop"
check "desktop entry opens a file with the viewer" grep -qx 'Exec=kelvane-viewer %f' "$root/usr/share/applications/kelvane-viewer.desktop"
check "copyright is there" grep -q "^License: Expat" "$root/usr/share/doc/kelvane/copyright"
check "unpacked kelvane --version" [ "$("$root/usr/bin/kelvane" --version)" = "kelvane $version" ]
check "unpacked kelvane-viewer --version" [ "$("$root/usr/bin/kelvane-viewer" --version)" = "kelvane-viewer $version" ]
check "unpacked kelvane demo" "$root/usr/bin/kelvane" demo -o "$tmp/demo.map"
check "unpacked kelvane info" quiet "$root/usr/bin/kelvane" info "$tmp/demo.map"
check "unpacked kelvane render" quiet "$root/usr/bin/kelvane" render "$tmp/demo.map" -o "$tmp/demo.png"
check "the render is a 640 x 480 PNG" [ "$(/usr/bin/identify -format %wx%h "$tmp/demo.png" 2>/dev/null)" = 640x480 ]
for page in kelvane kelvane-viewer; do
  man --warnings=all -l "$root/usr/share/man/man1/$page.1.gz" >"$tmp/$page.txt" 2>"$tmp/warnings"
  check "man $page renders without warnings" [ ! -s "$tmp/warnings" ]
  cat "$tmp/warnings"
done
# Every subcommand with its options, every key, the exit codes, infile.txt.
for want in "kelvane.txt:^ *make-map$" "kelvane.txt:--fit" "kelvane.txt:--strict" "kelvane.txt:EXIT STATUS" \
  "kelvane.txt:EXAMPLES" "kelvane-viewer.txt:Escape" "kelvane-viewer.txt:infile.txt" "kelvane-viewer.txt:Exit status"; do
  check "man page ${want%%:*} has ${want#*:}" grep -q -- "${want#*:}" "$tmp/${want%%:*}"
done

# cmake --install gives the same tree (binaries stripped the same way as the package's).
cmake --install "$build" --prefix "$tmp/installed/usr" --strip >/dev/null
(cd "$root" && find . -type f | sort) >"$tmp/deb.list"
(cd "$tmp/installed" && find . -type f | sort) >"$tmp/install.list"
check "cmake --install installs the .deb's tree" cmp -s "$tmp/deb.list" "$tmp/install.list"

check "the Windows zip exists" [ -f "$zip" ]
unzip -q "$zip" -d "$tmp/win"
dir="$tmp/win/kelvane-${version}-windows-x86_64"
check "the zip holds kelvane.exe" [ -f "$dir/kelvane.exe" ]
check "the zip holds kelvane-viewer.exe" [ -f "$dir/kelvane-viewer.exe" ]
check "the zip holds README and LICENSE" [ -f "$dir/README.md" -a -f "$dir/LICENSE" ]
wineboot --init >/dev/null 2>&1
wineserver -w
wine "$dir/kelvane.exe" info --json "$(winepath -w "$tmp/demo.map")" >"$tmp/win.json" 2>/dev/null
"$build/bin/kelvane" info --json "$tmp/demo.map" >"$tmp/linux.json"
check "the zipped kelvane.exe prints the same JSON as Linux" cmp -s "$tmp/win.json" "$tmp/linux.json"
web="$dist/kelvane-${version}-web.zip"
check "the web zip exists" [ -f "$web" ]
unzip -q "$web" -d "$tmp/web"
for f in index.html kelvane-viewer.js kelvane-viewer.wasm demo.map; do
  check "the web zip holds $f" [ -f "$tmp/web/$f" ]
done
tally
