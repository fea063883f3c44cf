#!/usr/bin/env bash
# The Windows installer under Wine, in fresh prefixes and its own Xvfb, installed and
# uninstalled silently as administrators deploy it: the files, the Start menu entry, the map
# file type (left to a program that owns .map already), the PATH entry and the entry in "Apps"
# come and go; the viewer started through the registered open command shows the map as the
# Linux viewer does; a per-user install goes to the user's own programs folder.
set -u
dist=$1  # dist/, with the setup .exe
linux=$2 # build/bin (the Linux viewer draws the reference picture)
tmp=$(mktemp -d)
source "$(dirname "$0")/lib.sh"
viewer=""
setup=$(ls "$dist"/kelvane-*-windows-x86_64-setup.exe 2>/dev/null | head -n 1)
version=$(basename "$setup" | sed -e 's/^kelvane-//' -e 's/-windows.*//')
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINDOW_WAIT=90
cleanup() {
  [[ -n $viewer ]] && kill -9 "$viewer" 2>/dev/null
  [[ -n ${WINEPREFIX:-} ]] && wineserver -k 2>/dev/null
  stopX
  rm -rf "$tmp"
}
trap cleanup EXIT
startX || exit 1
check "make package wrote the installer" [ -f "$setup" ]
[[ -f $setup ]] || { tally; exit 1; }
title="Kelvane Map Viewer by Ruq"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'

# NAME: a fresh Wine prefix, in place of the last one. A prefix takes about 700 MB, so each goes
# before the next is made rather than six at once (a CI run once found no kernel32.dll in the
# fourth). A prefix without kernel32.dll is said, with the disk's free space and wineboot's
# last words, so that such a failure names its cause.
newPrefix() {
  if [[ -n ${WINEPREFIX:-} ]]; then
    wineserver -k 2>/dev/null
    rm -rf "$WINEPREFIX"
  fi
  export WINEPREFIX="$tmp/$1"
  wineboot --init >"$tmp/wineboot.log" 2>&1
  wineserver -w
  if [[ ! -f $WINEPREFIX/drive_c/windows/system32/kernel32.dll ]]; then
    echo "wineboot made no working prefix $1 ($(df -h --output=avail "$tmp" | tail -n 1 | tr -d ' ') free):"
    tail -n 5 "$tmp/wineboot.log"
  fi
}
run() { wine "$@" >/dev/null 2>&1; wineserver -w; } # a Windows program, and all it started
has() { wine reg query "$1" ${2:+/v "$2"} 2>/dev/null | grep -qF -- "$3"; } # KEY VALUE TEXT
gone() { ! wine reg query "$1" >/dev/null 2>&1; }
value() { # KEY [VALUE]: the value's data (the key's default without VALUE)
  local q=(/ve)
  [[ -n ${2:-} ]] && q=(/v "$2")
  wine reg query "$1" "${q[@]}" 2>/dev/null | awk -F'    ' 'NF >= 4 { print $4 }' | tr -d '\r'
}

"$linux/kelvane" make-map "$(dirname "$0")/../data/box.json" -o "$tmp/box.map" || exit 1

# Per machine (Wine's user is an administrator), over a PATH the user already has.
newPrefix machine
run reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d 'C:\tools' /f
run "$setup" /S
dir="$WINEPREFIX/drive_c/Program Files/Kelvane"
for f in kelvane-viewer.exe kelvane.exe README.md LICENSE COPYRIGHT.txt uninstall.exe; do
  check "installed $f" [ -f "$dir/$f" ]
done
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kelvane Map Viewer.lnk"
check "a Start menu entry for the viewer" [ -f "$menu" ]
check "the .map file type is the viewer's" has 'HKLM\Software\Classes\.map' "" "Kelvane.Map"
check "named Kelvane level map" has 'HKLM\Software\Classes\Kelvane.Map' "" "Kelvane level map"
check "with the viewer's icon" has 'HKLM\Software\Classes\Kelvane.Map\DefaultIcon' "" 'kelvane-viewer.exe,0'
command=$(value 'HKLM\Software\Classes\Kelvane.Map\shell\open\command')
check "opened with kelvane-viewer.exe \"%1\"" [ "$command" = '"C:\Program Files\Kelvane\kelvane-viewer.exe" "%1"' ]
check "the viewer is in Open with" has 'HKLM\Software\Classes\.map\OpenWithProgids' Kelvane.Map "Kelvane.Map"
check "Apps lists it by name" has "$key" DisplayName "Kelvane Map Viewer"
check "with its version" has "$key" DisplayVersion "$version"
check "and publisher" has "$key" Publisher "The Kelvane Map Viewer contributors"
check "and a silent uninstall" has "$key" QuietUninstallString '/S'
check "kelvane.exe's folder on the user's PATH, after what was there" [ "$(value 'HKCU\Environment' Path)" = 'C:\tools;C:\Program Files\Kelvane' ]
check "kelvane.exe runs from there" [ "$(wine "$dir/kelvane.exe" --version 2>/dev/null | tr -d '\r')" = "kelvane $version" ]

# The registered open command shows the map: the Linux viewer's picture, cropped to the
# Windows client area as the Wine smoke test does.
linuxPicture "$linux" "$tmp/box.map" "$tmp/linux.png"
exe=$(sed -E 's/^"([^"]+)".*/\1/' <<<"$command")
arg=$(sed -E 's/^"[^"]+" //' <<<"$command")
arg=${arg//\"/}
wine "$exe" "${arg/\%1/$(winepath -w "$tmp/box.map")}" >"$tmp/out" 2>"$tmp/err" &
viewer=$!
wid=$(findWindow "$title")
if [[ -n $wid ]]; then
  sleep 1
  shot "$wid" "$tmp/win.png"
  size=$(/usr/bin/identify -format %wx%h "$tmp/win.png")
  w=${size%x*} h=${size#*x}
  /usr/bin/convert "$tmp/linux.png" -crop "${w}x${h}+0+$((480 - h))" +repage "$tmp/linux-crop.png"
  check "the open command shows the map as the Linux viewer does" [ "$(differing "$tmp/win.png" "$tmp/linux-crop.png")" = 0 ]
  xdotool windowfocus --sync "$wid"
  xdotool key Escape
  waitExit "$viewer"
  check "and Escape ends it with 0" [ "$rc" = 0 ]
else
  check "the open command opens a viewer window ($(cat "$tmp/err"))" false
fi
viewer=""

run "C:\\Program Files\\Kelvane\\uninstall.exe" /AllUsers /S
check "the silent uninstall removes the folder" [ ! -e "$dir" ]
check "and the Start menu entry" [ ! -e "$menu" ]
check "and the file type" gone 'HKLM\Software\Classes\Kelvane.Map'
check "and .map" gone 'HKLM\Software\Classes\.map'
check "and the Apps entry" gone "$key"
check "and only its own PATH entry" [ "$(value 'HKCU\Environment' Path)" = 'C:\tools' ]

# A PATH longer than the 1,024 characters an installer's string holds, and one just under:
# the folder goes after every character of it, and the uninstall gives it back byte for byte.
for n in 1000 2000; do
  newPrefix "long$n"
  long="" i=0
  while ((${#long} < n)); do long+="C:\\Tools\\Folder $((i++));"; done
  long="${long:0:n-4}C:\\x"
  run reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$long" /f
  check "a $n-character PATH to start from" [ "$(value 'HKCU\Environment' Path)" = "$long" ]
  run "$setup" /S
  check "the install keeps all $n characters and adds the folder after them" \
    [ "$(value 'HKCU\Environment' Path)" = "$long;C:\Program Files\Kelvane" ]
  run "C:\\Program Files\\Kelvane\\uninstall.exe" /AllUsers /S
  check "the uninstall gives the $n characters back byte for byte" [ "$(value 'HKCU\Environment' Path)" = "$long" ]
done

# /D= chooses the folder, with blanks and letters outside ASCII in its name, typed at a command
# prompt as administrators do (unquoted, last).
newPrefix chosen
run cmd /c "$(winepath -w "$setup") /S /D=C:\Mes Programmes\Kelvane Kärta"
cdir="$WINEPREFIX/drive_c/Mes Programmes/Kelvane Kärta"
check "/D= puts the programs in the folder it names" [ -f "$cdir/kelvane.exe" ]
check "and nothing in Program Files" [ ! -e "$WINEPREFIX/drive_c/Program Files/Kelvane" ]
check "the folder is on the PATH" grep -q 'Mes Programmes\\Kelvane K' <<<"$(value 'HKCU\Environment' Path)"
run "C:\\Mes Programmes\\Kelvane Kärta\\uninstall.exe" /AllUsers /S
check "its uninstall removes the folder" [ ! -e "$cdir" ]
check "and its PATH entry" [ -z "$(value 'HKCU\Environment' Path)" ]

# A .map that another program owns stays that program's; the viewer is only offered.
newPrefix owned
run reg add 'HKLM\Software\Classes\.map' /ve /d Other.Map /f
run "$setup" /S
check "an owned .map keeps its owner" [ "$(value 'HKLM\Software\Classes\.map')" = Other.Map ]
check "the viewer is offered under Open with" has 'HKLM\Software\Classes\.map\OpenWithProgids' Kelvane.Map "Kelvane.Map"
check "nothing on the PATH before: just the folder" [ "$(value 'HKCU\Environment' Path)" = 'C:\Program Files\Kelvane' ]
run "C:\\Program Files\\Kelvane\\uninstall.exe" /AllUsers /S
check "the owner keeps .map after the uninstall" [ "$(value 'HKLM\Software\Classes\.map')" = Other.Map ]
check "and Open with forgets the viewer" gone 'HKLM\Software\Classes\.map\OpenWithProgids'
check "the PATH value goes when it held only the folder" [ -z "$(value 'HKCU\Environment' Path)" ]

# Per user: into the user's own programs folder, with the user's own keys.
newPrefix user
run "$setup" /S /CurrentUser
udir=$(find "$WINEPREFIX/drive_c/users" -type d -path '*/AppData/Local/Programs/Kelvane' | head -n 1)
check "a per-user install goes to the user's programs folder" [ -f "$udir/kelvane-viewer.exe" ]
check "with the user's file type" has 'HKCU\Software\Classes\Kelvane.Map\shell\open\command' "" 'kelvane-viewer.exe" "%1"'
check "and the user's Apps entry" has 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane' DisplayName "Kelvane Map Viewer"
quiet=$(value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane' QuietUninstallString)
uexe=$(sed -E 's/^"([^"]+)".*/\1/' <<<"$quiet")
run "$uexe" /CurrentUser /S
check "its silent uninstall leaves nothing" [ ! -e "$udir" ]
check "no key" gone 'HKCU\Software\Classes\Kelvane.Map'
check "no Apps entry" gone 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'

tally
