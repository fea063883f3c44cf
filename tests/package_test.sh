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
check "lintian reports no warnings" eval '! grep -q "^W:" "$tmp/lintian"'
grep -E '^[EW]:' "$tmp/lintian" | sed 's/^/  lintian: /'

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
check "desktop entry validates" desktop-file-validate "$root/usr/share/applications/kelvane-viewer.desktop"
check "desktop entry opens a file with the viewer" grep -qx 'Exec=kelvane-viewer %f' "$root/usr/share/applications/kelvane-viewer.desktop"
check "copyright is there" grep -q "^License: Expat" "$root/usr/share/doc/kelvane/copyright"

# Desktop integration. The icon: PNGs of every size from the one SVG, named in the entry.
share="$root/usr/share"
for size in 16 24 32 48 64 128 256; do
  png="$share/icons/hicolor/${size}x${size}/apps/kelvane-viewer.png"
  check "icon ${size}x${size}" [ "$(/usr/bin/identify -format %wx%h "$png" 2>/dev/null)" = "${size}x${size}" ]
done
check "the scalable icon" [ -f "$share/icons/hicolor/scalable/apps/kelvane-viewer.svg" ]
check "the desktop entry names the icon" grep -qx 'Icon=kelvane-viewer' "$share/applications/kelvane-viewer.desktop"
check "the desktop entry takes map files" grep -qx 'MimeType=application/x-kelvane-map;' "$share/applications/kelvane-viewer.desktop"
# The file type, through the real tools on a scratch prefix: the database knows *.map, and
# the default application for it is the viewer.
mkdir -p "$tmp/scratch"
cp -r "$share" "$tmp/scratch/share"
update-mime-database "$tmp/scratch/share/mime" >/dev/null 2>&1
update-desktop-database "$tmp/scratch/share/applications" >/dev/null 2>&1
"$build/bin/kelvane" demo -o "$tmp/level.map"
xdg() { env -u XDG_CURRENT_DESKTOP XDG_DATA_DIRS="$tmp/scratch/share" XDG_DATA_HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home" xdg-mime "$@" 2>/dev/null; }
check "xdg-mime knows a map's type" [ "$(xdg query filetype "$tmp/level.map")" = application/x-kelvane-map ]
check "the comment says what it is" grep -q '<comment>Kelvane level map</comment>' "$share/mime/packages/kelvane.xml"
check "xdg-mime opens maps with the viewer" [ "$(xdg query default application/x-kelvane-map)" = kelvane-viewer.desktop ]
# The thumbnailer: its Exec line expanded as the thumbnail spec says (%s size, %i input, %o
# output, which need not end in .png), run; a square PNG of that size showing the map.
thumbnailer="$share/thumbnailers/kelvane.thumbnailer"
check "the thumbnailer takes map files" grep -qx 'MimeType=application/x-kelvane-map;' "$thumbnailer"
exec=$(sed -n 's/^Exec=//p' "$thumbnailer")
exec=${exec//%s/128}
exec=${exec//%i/$tmp/level.map}
exec=${exec//%o/$tmp/thumb.tmp}
exec=${exec/#kelvane /$root/usr/bin/kelvane }
# shellcheck disable=SC2086
$exec >"$tmp/thumb.out" 2>&1
check "the thumbnailer's command succeeds quietly" [ $? = 0 -a ! -s "$tmp/thumb.out" ]
check "the thumbnail is a 128 x 128 PNG" [ "$(/usr/bin/identify -format %m:%wx%h "$tmp/thumb.tmp" 2>/dev/null)" = PNG:128x128 ]
check "the thumbnail shows the map" [ "$(/usr/bin/convert "$tmp/thumb.tmp" -format '%[fx:mean>0.1]' info:)" = 1 ]
check "a thumbnail of what is not a map fails" eval '! "$root/usr/bin/kelvane" thumbnail -s 64 "$thumbnailer" "$tmp/not.png" 2>/dev/null && [ ! -e "$tmp/not.png" ]'
# The Python module from the package in a clean interpreter (no build tree, no user site), and
# the README's three scripts with it; the Blender add-on is installed.
py() { env -i PATH=/usr/bin:/bin HOME="$tmp/home" PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -s "$@"; }
check "the module imports from the package" py -c "import kelvane, sys; sys.exit(not kelvane.__file__.startswith('$root/'))"
check "its stubs are beside it" [ -f "$root/usr/lib/python3/dist-packages/kelvane.pyi" ]
check "the Blender add-on is there" grep -q "File > Import > Kelvane map" "$share/kelvane/blender/kelvane_import.py"
awk -v dir="$tmp" '/^```python$/ {on = 1; n++; next} /^```$/ {on = 0} on {print > (dir "/script" n ".py")}' "$(dirname "$0")/../README.md"
mkdir -p "$tmp/maps"
"$build/bin/kelvane" demo -o "$tmp/maps/a.map"
cp "$tmp/maps/a.map" "$tmp/maps/b.map"
echo "not a map" >"$tmp/maps/c.map"
py "$tmp/script1.py" "$tmp/maps" 2>"$tmp/script.err"
check "the thumbnails script makes a picture of each map" [ "$(/usr/bin/identify -format %wx%h "$tmp/maps/a.png" "$tmp/maps/b.png" 2>/dev/null)" = 256x256256x256 ]
check "and skips what is not a map, saying why" grep -q "skipped $tmp/maps/c.map: kelvane: $tmp/maps/c.map: not a map" "$tmp/script.err"
"$root/usr/bin/kelvane" render "$tmp/maps/a.map" --fit -o "$tmp/stored.png" 2>/dev/null
check "the picture check passes on the stored picture" py "$tmp/script3.py" "$tmp/maps/a.map" "$tmp/stored.png"
check "the raise script raises the heights" py "$tmp/script2.py" "$tmp/maps/a.map" 0.5
check "only heights changed" grep -q "reshaped" <<<"$("$root/usr/bin/kelvane" diff "$tmp/maps/b.map" "$tmp/maps/a.map")"
check "the picture check fails once the picture changed" eval '! py "$tmp/script3.py" "$tmp/maps/a.map" "$tmp/stored.png" 2>/dev/null'
# Completion: bash's through the installed function; zsh's and fish's parse.
offers() { # words...: what bash offers for the last word
  bash -c 'source /usr/share/bash-completion/bash_completion
    source "$1"; shift; cd "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _kelvane kelvane "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s
" "${COMPREPLY[@]}"' _ "$share/bash-completion/completions/kelvane" "$tmp" "$@" | sort | tr '
' ' '
}
check "bash completes the commands" grep -q "demo diff dump export git-setup info make-map merge patch render thumbnail" <<<"$(offers kelvane "")"
check "bash completes a command's options" grep -q -- "--axes .*--select" <<<"$(offers kelvane render --)"
check "bash completes --format" [ "$(offers kelvane export x.map --format "")" = "glb gltf obj " ]
check "bash completes map files" grep -q "level.map" <<<"$(offers kelvane info "")"
check "zsh's completion parses" zsh -n "$share/zsh/vendor-completions/_kelvane"
check "fish's completion parses" fish --no-execute "$share/fish/vendor_completions.d/kelvane.fish"
# Each shell offers exactly the options each command's --help lists (zsh's read from its
# script, without the help texts in brackets and the file patterns).
helpOptions() { "$root/usr/bin/kelvane" "$1" --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' '\n' | sort | tr '\n' ' '; }
zshOptions() {
  sed -n "/^    $1)\$/,/^      ;;\$/p" "$share/zsh/vendor-completions/_kelvane" | sed -e 's/\[[^]]*\]//g' -e 's/_files -g "[^"]*"//g' |
    grep -oE "(^|[ '{,(])--?[a-z][a-z-]*" | sed "s/^[ '{,(]//" | sort -u | tr '\n' ' '
}
fishOptions() { fish -c "source '$share/fish/vendor_completions.d/kelvane.fish'; complete -C 'kelvane $1 -'" | cut -f1 | sort | tr '\n' ' '; }
for c in info render export thumbnail demo make-map diff patch; do
  want=$(helpOptions "$c")
  check "bash offers exactly $c's options" [ "$(offers kelvane "$c" -)" = "$want" ]
  check "zsh offers exactly $c's options" [ "$(zshOptions "$c")" = "$want" ]
  check "fish offers exactly $c's options" [ "$(fishOptions "$c")" = "$want" ]
done
check "the metainfo validates" quiet appstreamcli validate --no-net "$share/metainfo/org.example.kelvane.viewer.metainfo.xml"
check "the metainfo provides the map type" grep -q '<mediatype>application/x-kelvane-map</mediatype>' "$share/metainfo/org.example.kelvane.viewer.metainfo.xml"
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
# Both forms of the viewer in its SYNOPSIS; a section for every subcommand kelvane --help lists,
# and each of them in the package's description.
check "man kelvane-viewer's synopsis has --compare OLD NEW" bash -c 'sed -n "/^SYNOPSIS/,/^DESCRIPTION/p" "$1" | grep -q -- "--compare OLD NEW"' _ "$tmp/kelvane-viewer.txt"
description=$(dpkg-deb -f "$deb" Description)
for cmd in $("$root/usr/bin/kelvane" --help | awk '/^Subcommands:/ { f = 1; next } f && /^  [a-z]/ { print $1 } f && /^$/ { exit }'); do
  check "man kelvane has a section for $cmd" grep -qx -- " *$cmd" "$tmp/kelvane.txt"
  check "the package's description names $cmd" grep -qw -- "$cmd" <<<"$description"
done
# The viewer's page lists every key line of its --help, which the table of bindings makes.
"$root/usr/bin/kelvane-viewer" --help | sed -n '/^Keys and mouse:/,/^$/p' | sed -n 's/^  \(.*[^ ]\)  \+\(.*\)/\1|\2/p' >"$tmp/keys"
missing=0
while IFS='|' read -r keys does; do
  grep -qF -- "$keys" "$tmp/kelvane-viewer.txt" && grep -qF -- "$does" "$tmp/kelvane-viewer.txt" || missing=$((missing + 1))
done <"$tmp/keys"
check "man kelvane-viewer lists every key line ($(wc -l <"$tmp/keys"))" [ "$missing" = 0 -a -s "$tmp/keys" ]

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
check "and the licences of what it ships, the font's included" grep -q "License: bitstream-vera" "$dir/COPYRIGHT.txt"
for exe in kelvane kelvane-viewer; do
  check "$exe.exe carries the icon" grep -q "type=14" <<<"$(wrestool -l "$dir/$exe.exe" 2>/dev/null)"
done
wineboot --init >/dev/null 2>&1
wineserver -w
wine "$dir/kelvane.exe" info --json "$(winepath -w "$tmp/demo.map")" >"$tmp/win.json" 2>/dev/null
"$build/bin/kelvane" info --json "$tmp/demo.map" >"$tmp/linux.json"
check "the zipped kelvane.exe prints the same JSON as Linux" cmp -s "$tmp/win.json" "$tmp/linux.json"
web="$dist/kelvane-${version}-web.zip"
check "the web zip exists" [ -f "$web" ]
unzip -q "$web" -d "$tmp/web"
for f in index.html address.js outline.js record.js maps.js bridge.js kelvane-viewer.js kelvane-viewer.wasm demo.map favicon.png; do
  check "the web zip holds $f" [ -f "$tmp/web/$f" ]
done
tally
