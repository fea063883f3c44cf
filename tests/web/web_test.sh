#!/usr/bin/env bash
# The viewer in a web browser, as a user meets it: the site from `make web` served on the
# loopback, driven in headless Chromium by web_test.js, its pictures compared with
# `kelvane render` of the same map and camera (the same greys; at most 0.5 % of pixels may
# differ, along edges, where the browser's rasterizer is not Mesa's).
set -u
site=$1 # build-web/
bin=$2  # build/bin (the Linux kelvane renders the references)
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
source "$root/tests/e2e/lib.sh"
server=""
trap '[[ -n $server ]] && kill $server 2>/dev/null; [[ -n ${KEEP:-} ]] || rm -rf "$tmp"' EXIT

cp -r "$site" "$tmp/site"
# The end-to-end maps: a 20 x 10 x 20 box in front of the eye, a small box 12 units right.
"$bin/kelvane" make-map "$root/tests/data/box.json" -o "$tmp/site/box.map" || exit 1
"$bin/kelvane" make-map "$root/tests/data/side.json" -o "$tmp/site/side.map" || exit 1
tile() { printf '{"id": %d, "position": [0, 0, %d], "rotation": [0, 0, 0], "cellSize": [60, 60, 60], "cells": [4, 1, 4]}' "$@"; }
printf '{"lattices": [%s, %s, %s]}' "$(tile 1 0)" "$(tile 2 -4000)" "$(tile 3 -8000)" >"$tmp/deep.json"
"$bin/kelvane" make-map "$tmp/deep.json" -o "$tmp/site/deep.map" || exit 1
head -c 4096 /dev/urandom >"$tmp/site/noise.map"
cp "$tmp/site/box.map" "$tmp/site/100%.map"
truncate -s 600M "$tmp/site/huge.map" # sparse: more than a page may hold, no disk taken
# 60 lattices of 255 x 255 x 255 cells: 47 M triangles in a few kilobytes.
big='{"id": 1, "position": [0, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [255, 255, 255]}'
{ printf '{"lattices": [%s' "$big"; for _ in $(seq 59); do printf ', %s' "$big"; done; printf ']}'; } >"$tmp/sixty.json"
"$bin/kelvane" make-map "$tmp/sixty.json" -o "$tmp/site/sixty.map" || exit 1
"$bin/big_map" frame "$tmp/site/frame.map" || exit 1
"$bin/big_map" heights "$tmp/site/heights.map" || exit 1
# For the mouse and touch: a big box ahead and a small one to its right.
cube() { printf '{"id": 1, "position": [%s, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [%s, %s, %s]}' "$@"; }
printf '{"lattices": [%s, %s]}' "$(cube 0 20 10 20)" "$(cube 16 4 4 4)" >"$tmp/pair.json"
"$bin/kelvane" make-map "$tmp/pair.json" -o "$tmp/site/pair.map" || exit 1
# For the outline: a parent chain 0 <- 1 <- 2, and 3 on its own.
lat() { printf '{"id": %s, "position": [%s, 0, 0], "rotation": [0, 0, 0], "cellSize": [1, 1, 1], "cells": [%s, %s, %s]%s}' "$@"; }
printf '{"lattices": [%s, %s, %s, %s]}' "$(lat 1 -8 6 6 6 '')" "$(lat 5 10 4 4 4 ', "parent": 0')" \
  "$(lat 3 6 2 8 2 ', "parent": 1')" "$(lat 7 0 3 3 3 '')" >"$tmp/family.json"
"$bin/kelvane" make-map "$tmp/family.json" -o "$tmp/site/family.map" || exit 1
# For comparing: the family with lattice 2 removed, 1 reshaped, 3 (now 2) moved, one added.
printf '{"lattices": [%s, %s, %s, %s]}' "$(lat 1 -8 6 6 6 '')" "$(lat 5 10 5 4 4 ', "parent": 0')" \
  "$(lat 7 0 3 3 3 '')" "$(lat 9 -20 2 2 2 '')" | sed 's/"position": \[0, 0, 0\]/"position": [0, 4, 0]/' >"$tmp/changed.json"
"$bin/kelvane" make-map "$tmp/changed.json" -o "$tmp/site/changed.map" || exit 1
"$bin/kelvane" render "$tmp/site/changed.map" --compare "$tmp/site/family.map" -o "$tmp/ref-compared.png"
"$bin/kelvane" render "$tmp/site/box.map" -o "$tmp/ref-flown.png" --camera 0,0,10,30,0
"$bin/kelvane" render "$tmp/site/demo.map" -o "$tmp/ref-demo.png"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$tmp/site" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do python3 -c "import urllib.request as u; u.urlopen(\"http://127.0.0.1:$port/\")" 2>/dev/null && break; sleep 0.1; done

mkdir -p "$tmp/out"
NODE_PATH="$root/.tools/node_modules" node "$root/tests/web/web_test.js" "http://127.0.0.1:$port/" "$tmp/out" "$tmp/site" ||
  { echo "FAIL: the browser run did not finish"; fail=$((fail + 1)); }
r="$tmp/out/results.json"
field() { node -e "const r = require('$r'); console.log(eval('r.' + process.argv[1]))" "$1" 2>/dev/null; }
within() { # A B: at most 0.5 % of the pixels differ
  local d
  d=$(differing "$1" "$2")
  [[ $d =~ ^[0-9]+$ && $d -le $((640 * 480 / 200)) ]] || { echo "  $(basename "$1") and $(basename "$2") differ in $d pixels"; false; }
}

check "no request fails when the page loads" [ "$(field failedRequests.length)" = 0 ]
check "the page has its icon" [ -f "$tmp/site/favicon.png" ]
check "title is the window title" [ "$(field box.title)" = "Kelvane Map Viewer by Ruq" ]
check "box from ?map= runs" [ "$(field box.state)" = running ]
check "front wall 153 in the centre" isPixel "$tmp/out/box.png" 320 240 "153 153 153"
check "E x10, Up x30 give the desktop's picture" within "$tmp/out/flown.png" "$tmp/ref-flown.png"
check "P fills the camera line" [ "$(field afterP.cameraLine)" = "--camera 0,0,10,30,0" ]
check "P puts the view in the address" [ "$(field afterP.hash)" = "#camera=0,0,10,30,0" ]
check "the shared address shows the same view" within "$tmp/out/shared.png" "$tmp/out/flown.png"
check "the shared address starts at its camera" [ "$(field shared.camera)" = "0,0,10,30,0" ]
check "C cuts through the canvas: P's line has --section" grep -q -- "--section " <<<"$(field cut.cameraLine)"
check "and the link carries it" grep -q "&section=" <<<"$(field cut.hash)"
# shellcheck disable=SC2046 # the P line is words
"$bin/kelvane" render "$tmp/site/box.map" -o "$tmp/ref-cut.png" $(field cut.cameraLine)
check "the cut canvas equals render with P's line" within "$tmp/out/cut.png" "$tmp/ref-cut.png"
check "the cut shows more than the wall" [ "$(differing "$tmp/out/cut.png" "$tmp/out/box.png")" -gt 1000 ]
check "the link opens with the cut" within "$tmp/out/cutShared.png" "$tmp/ref-cut.png"
check "a keyframe file opened on the page becomes the flight" [ "$(field 'flightFile.flight.join(";")')" = "0,0,5,0,0;1,2,3,10,20" ]
check "and 2 jumps to its second keyframe" [ "$(field flightFile.camera)" = "1,2,3,10,20" ]
check "the map stays open" [ "$(field flightFile.state)" = running ]
check "numpad 7 looks from the top, orthographic" grep -qE -- ",90,0 --ortho [0-9.e]+$" <<<"$(field top.cameraLine)"
check "and the link carries it" grep -q "&ortho=" <<<"$(field top.hash)"
# shellcheck disable=SC2046 # the P line is words
"$bin/kelvane" render "$tmp/site/box.map" -o "$tmp/ref-top.png" $(field top.cameraLine)
check "the top view equals render with P's line" within "$tmp/out/top.png" "$tmp/ref-top.png"
check "the link opens from the top" within "$tmp/out/topShared.png" "$tmp/ref-top.png"
check "Home on a deep map pushes the far plane" grep -qE -- " --far [0-9]+$" <<<"$(field deep.cameraLine)"
check "and the link carries it" grep -q "&far=" <<<"$(field deep.hash)"
# shellcheck disable=SC2046 # the P line is words
"$bin/kelvane" render "$tmp/site/deep.map" -o "$tmp/ref-deep.png" $(field deep.cameraLine)
check "the deep view equals render with P's line" within "$tmp/out/deep.png" "$tmp/ref-deep.png"
check "and the link opens it so" within "$tmp/out/deepShared.png" "$tmp/ref-deep.png"
check "F1 shows the help sheet in the canvas" [ "$(differing "$tmp/out/help.png" "$tmp/out/flown.png")" -gt 5000 ]
check "I shows the info panel" [ "$(differing "$tmp/out/info.png" "$tmp/out/flown.png")" -gt 1000 ]
check "and I again hides it" within "$tmp/out/noinfo.png" "$tmp/out/flown.png"
check "the page keeps the selection and messages to itself" [ "$(differing "$tmp/out/noinfo.png" "$tmp/out/flown.png")" -lt 100 ]
check "Escape hides the help sheet first" within "$tmp/out/helpLeft.png" "$tmp/out/flown.png"
check "then ends moving, keeping the selection" [ "$(field escape.movingSelected)" = 0 ]
check "then clears the selection" [ "$(field escape.selected)" = null ]
check "and never stops the viewer" [ "$(field escape.state)" = running ]
check "nor asks about the unsaved edit" [ "$(field escape.asks)" = 0 -a "$(field escape.unsaved)" = true ]
check "the Controls box lists the page's Escape" grep -q "Escape: leave the help, moving" <<<"$(field "escape.keys.join('|')")"
check "and no key the page lacks" bash -c '! grep -qE "(^|\|)(F5|Escape: quit)" <<<"$1"' _ "$(field "escape.keys.join('|')")"
check "a dropped file opens" [ "$(field dropped.state)" = running ]
check "the dropped box shows its wall" isPixel "$tmp/out/dropped.png" 320 240 "153 153 153"
check "axis line while T is held" colourful "$tmp/out/axes.png" 100x20+320+230
check "no axis line after T" plain "$tmp/out/noaxes.png" 100x20+320+230
check "the demo page equals kelvane render" within "$tmp/out/demo.png" "$tmp/ref-demo.png"
check "Save picture names the picture after the map" [ "$(field picture.name)" = demo-001.png ]
check "and says so" grep -q "saved picture demo-001.png" <<<"$(field picture.messages)"
check "its picture is render's, without the info panel" within "$tmp/out/picture.png" "$tmp/ref-demo.png"
check "a missing map is an error" [ "$(field missing.state)" = error ]
check "a missing map says Error opening file." grep -q "Error opening file." <<<"$(field missing.messages)"
check "a file that is not a map is an error" [ "$(field notmap.state)" = error ]
check "it says why" grep -q "not a map" <<<"$(field notmap.messages)"
check "and shows Error opening file." grep -q "Error opening file." <<<"$(field notmap.messages)"
small="selected lattice 1: id 1, 4 x 4 x 4 cells, at (16, 0, 0), parent none"
check "a click selects the lattice under the pointer" [ "$(field clicked.selected)" = 1 ]
check "the page says which" grep -qF "$small" <<<"$(field clicked.messages)"
check "the panel shows it" grep -q "cell size (1, 1, 1)" <<<"$(field clicked.panel)"
check "the title names it" [ "$(field clicked.title)" = "Kelvane Map Viewer by Ruq - lattice 1" ]
check "Tab selects the next, wrapping" [ "$(field tabbed.selected)" = 0 ]
check "Backspace clears" [ "$(field cleared.selected)" = null ]
check "a drag turns, the wheel moves" [ "$(field dragged.camera)" = "-1.389,0,7.878,5,10" ]
check "P adds the selection to the address" grep -qE '^#camera=[^&]+&select=0$' <<<"$(field selectedP.hash)"
check "a link with &select= opens with that lattice" [ "$(field linked.selected)" = 0 ]
check "and draws it in amber" colourful "$tmp/out/linked.png" 640x480+0+0
check "H hides the selected lattice" [ "$(field 'hid.hidden.join()')" = 0 ]
check "P adds &hide= to the address" grep -qE '^#camera=[^&]+&hide=0$' <<<"$(field hid.hash)"
check "a link with &hide= opens with those hidden" [ "$(field 'hiddenLink.hidden.join()')" = 0 ]
check "what the map does not draw is said" grep -q "hide=7: the map draws no such lattice" <<<"$(field hiddenLink.messages)"
check "the hidden lattice is not drawn" isPixel "$tmp/out/hiddenLink.png" 320 240 "0 0 0"
check "the outline is the tree by parent" [ "$(field 'tree.map((r) => r[0] + ":" + r[1]).join()')" = "0:0,1:1,2:2,3:0" ]
check "each row says index, id and cells" [ "$(field 'tree[1][2]')" = "1  id 5  4 x 4 x 4" ]
check "a click on a row selects it" [ "$(field rowClicked.selected)" = 2 ]
check "and marks the row" [ "$(field rowClicked.marked)" = 2 ]
check "a double click selects and fits" [ "$(field rowFitted.selected)" = 0 ] && check "the view moved" [ "$(field rowFitted.camera)" != "$(field rowFitted.before)" ]
check "the marked row follows Tab" [ "$(field rowFollows)" = 1 ]
check "#find keeps the rows whose index or id matches" [ "$(field 'found.rows.join()')" = 2,3 ]
check "&compare=: the outline marks each changed row" [ "$(field 'compared.rows.join()')" = "0:,1:reshaped,2:moved,3:added" ]
check "changed only keeps the changed rows" [ "$(field 'compared.changedOnly.join()')" = 1,2,3 ]
check "the canvas is render --compare's" within "$tmp/out/compared.png" "$tmp/ref-compared.png"
ocr() { # FILE CROP: the text tesseract reads there (light on dark, made dark on light)
  /usr/bin/convert "$1" -crop "$2" +repage -resize 300% -colorspace gray -negate "$tmp/ocr.png"
  tesseract "$tmp/ocr.png" stdout 2>/dev/null
}
sheet=$(ocr "$tmp/out/helpGrid.png" 4000x4000+0+0) # the whole shot
check "typing 'grid' into the page's help sheet keeps its row" grep -qF "G / Home" <<<"$sheet"
check "and no other" bash -c '! grep -qE "Escape|Tab / N" <<<"$1"' _ "$sheet"
legend=$(ocr "$tmp/out/comparedLegend.png" 240x200+400+0)
for kind in "added 1" "moved 1" "reshaped 1" "removed 1" "unchanged 1"; do
  check "the page's legend reads '$kind'" grep -qx -- "$kind" <<<"$legend"
done
label() { # FILE X Y: the letter tesseract reads at that pixel
  /usr/bin/convert "$1" -crop "20x24+$(($2 - 10))+$(($3 - 12))" +repage -colorspace gray \
    -threshold 20% -negate -bordercolor white -border 12 -resize 400% -blur 0x2 "$tmp/label.png"
  # As one raw line of the three letters, read twice at times ("yy"): once is enough.
  tesseract "$tmp/label.png" stdout --psm 13 -c tessedit_char_whitelist=xyzXYZ 2>/dev/null |
    tr -d '\n ' | tr XYZ xyz | tr -s xyz
}
# The marker's middle is (584, 424); looking straight ahead x ends 38 pixels right of it, y above.
check "X shows the axes marker on the page" colourful "$tmp/out/marker.png" 96x96+536+376
check "its x axis is labelled x" [ "$(label "$tmp/out/marker.png" 622 424)" = x ]
check "its y axis is labelled y" [ "$(label "$tmp/out/marker.png" 584 386)" = y ]
check "N steps through the four changes" grep -q "change 4 of 4: added 3 (id 9)" <<<"$(field compared.messages)"
check "P names the old map as the user knows it" grep -q -- "--select 3 --compare family.map$" <<<"$(field compared.cameraLine)"
for how in demo open link drop; do
  check "Compare with… after the $how map compares" [ "$(field compareAfter.$how.state)" = running -a "$(field compareAfter.$how.changed)" -gt 0 ]
  check "and N steps through its changes" grep -q "change 1 of" <<<"$(field compareAfter.$how.messages)"
done
check "a link's old map that is no map: the map is shown alone" [ "$(field badCompare.state)" = running -a "$(field badCompare.changed)" = 0 -a "$(field badCompare.rows)" = 4 ]
check "and says why" grep -q "not compared with noise.map: changed.map is shown alone" <<<"$(field badCompare.messages)"
check "and Open map… works after it" [ "$(field badCompare.thenOpened)" = 1 ]
check "a link's missing old map: the map is shown alone" [ "$(field missingCompare.state)" = running -a "$(field missingCompare.rows)" = 4 ]
check "and says why" grep -q "compare=nowhere.map: HTTP 404" <<<"$(field missingCompare.messages)"
check "Compare with… a file that is no map keeps the map, alone" [ "$(field compareNoise.state)" = running -a "$(field compareNoise.changed)" = 0 ]
check "and a good one after it compares" [ "$(field compareNoise.thenChanged)" -gt 0 ]
check "several maps opened show previous and next" [ "$(field steps.shown)" = true -a "$(field steps.alone)" = false ]
check "next opens the second by name, keeping the camera" [ "$(field steps.next.camera)" = "$(field steps.before.camera)" ]
check "and says which" grep -q "map 2 of 3: changed.map" <<<"$(field steps.next.messages)"
check "previous twice wraps to the last" grep -q "map 3 of 3: family.map" <<<"$(field steps.wrapped.messages)"
check "?maps= lists the maps, the first opened" [ "$(field steps.link.shown)" = true -a "$(field steps.link.state)" = running ]
check "the panel gives the old and new values" grep -qF "position (0, 0, 0) -> (0, 4, 0)" <<<"$(field compared.movedPanel)"
check "M E M moves the selected lattice" grep -qF "moved lattice 0 to (-8, 0, -1)" <<<"$(field edited.messages)"
check "Reload with unsaved edits asks first" grep -q "family.map has edits not saved" <<<"$(field edited.asked)"
check "and Cancel keeps them" [ "$(field edited.keptEdit)" = true ]
check "Save map downloads it under its name" [ "$(field edited.name)" = family.map ]
check "and nothing is unsaved then" [ "$(field edited.unsavedAfterSave)" = false ]
"$bin/kelvane" diff "$tmp/site/family.map" "$tmp/out/saved.map" >"$tmp/saved-diff.txt"
check "the download differs from the map by the move alone" [ "$(head -n 1 "$tmp/saved-diff.txt")" = "moved 0 (id 1): position (-8, 0, 0) -> (-8, 0, -1)" ]
check "and in no other byte" grep -q "0 reshaped, 0 added, 0 removed, 3 unchanged; other bytes: same" "$tmp/saved-diff.txt"
check "keys typed in #find go to the field" [ "$(field found.value)" = 3ee ]
check "and not to the viewer" [ "$(field found.camera)" = "$(field rowFitted.camera)" ]
check "unticking a row hides its lattice" [ "$(field 'unticked.hidden.join()')" = 0 ]
check "and it is gone from the canvas" isPixel "$tmp/out/unticked.png" 320 240 "0 0 0"
check "ticking it again shows it" isPixel "$tmp/out/ticked.png" 320 240 "153 153 153"
check "the 2,000-lattice outline has a row each" [ "$(field bigOutline.rows)" = 2000 ]
check "and builds in well under a second" [ "$(field 'bigOutline.ms < 500')" = true ]
check "scrolling it keeps the frame rate" [ "$(field 'bigOutline.scrolled < 2 * r.bigOutline.still')" = true ]
check "the canvas fills the window beside the side bar" [ "$(field layout.wide)" = 640x700 ]
check "and follows its size" [ "$(field layout.resized)" = 840x600 ]
check "P then says --size" grep -q -- "--size 840x600" <<<"$(field layout.line)"
check "the side bar collapses" [ "$(field layout.collapsed)" = 1200x600 ]
check "on a phone the canvas takes the screen" [ "$(field layout.phone.canvas)" = 390x800 ]
check "with the side bar a closed drawer" [ "$(field layout.phone.closed)" -ge 390 ]
check "that opens over it" [ "$(field layout.phone.open)" -lt 390 ]
check "a tap selects" [ "$(field tapped.selected)" = 1 ]
check "one finger turns" [ "$(field turned.camera)" = "0,0,0,5,10" ]
check "two fingers pan" grep -qE '^[-0-9.e]+,1,[-0-9.e]+,5,10$' <<<"$(field panned.camera)"
check "a pinch apart moves forward" [ "$(field pinched.forward)" = true ]
check "touches do not scroll the page" [ "$(field pinched.scroll)" = 0 ]
check "Home fits the view to the selection" [ "$(field homed.camera)" != "$(field pinched.camera)" ]
check "two fingers turned orbit" node -e '
  const [a, b] = process.argv.slice(-2).map((c) => c.split(",").map(Number));
  process.exit(Math.abs(b[4] - a[4] - 20) < 1.5 && b[3] === a[3] ? 0 : 1)' -- "$(field homed.camera)" "$(field twisted.camera)"
check "Ctrl+click sets point A on the wall" grep -qE '^point A \([-0-9.]+, [-0-9.]+, 10\) on lattice 0$' <<<"$(field 'measured.measure.split("\n")[0]')"
check "a long press sets B, with the distance" grep -qE '^point B \([-0-9.]+, [-0-9.]+, 10\) on lattice 0: distance [0-9.]+ \(dx [-0-9.]+, dy [-0-9.]+, dz 0\)$' <<<"$(field 'measured.measure.split("\n")[1]')"
check "neither selects" [ "$(field measured.selected)" = null ]
check "Enter adds keyframes to window.kelvane.flight" [ "$(field 'recorded.flight.join(";")')" = "0,0,0,0,0;0,0,10,0,0" ]
check "Record gives a WebM video" grep -q "^video/webm" <<<"$(field recorded.recording.type)"
check "that is not empty" [ "$(field 'recorded.recording.size > 1000')" = true ]
check "offered to save as flight.webm" [ "$(field recorded.link)" = flight.webm ]
check "the flight ends at its last keyframe" [ "$(field recorded.camera)" = "0,0,10,0,0" ]
check "Reload loads the changed map" [ "$(field reloaded.loads)" = 2 ]
check "Reload keeps the camera" [ "$(field reloaded.camera)" = "$(field reloaded.before)" ]
"$bin/kelvane" render "$tmp/site/side.map" -o "$tmp/ref-reloaded.png" --camera "$(field reloaded.camera)"
check "the page shows the new map" within "$tmp/out/reloaded.png" "$tmp/ref-reloaded.png"
check "and says it reloaded" grep -q "reloaded live.map" <<<"$(field reloaded.messages)"
check "the 2.1 M-triangle map draws" [ "$(field frame.state)" = running ]
check "a frame of it sends no vertex data" [ "$(field frame.bytesPerFrame)" = 0 ]
check "a draw call per run of visible chunks, not per triangle" [ "$(field 'frame.drawsPerFrame <= 64')" = true ]
check "the 64 MB map of 16 M heights draws" [ "$(field heights.state)" = running ]
check "and sends no vertex data a frame" [ "$(field heights.bytesPerFrame)" = 0 ]
check "a selected lattice goes out in one draw call" [ "$(field 'selectedDemo.drawsPerFrame <= 12')" = true ]
check "a lost WebGL context is restored" [ "$(field restored.state)" = running ]
check "with the same picture" within "$tmp/out/restored.png" "$tmp/out/box.png"
check "shaders that do not compile are an error" [ "$(field shaderFails.state)" = error ]
check "the page says why" grep -q "WebGL: the vertex shader does not compile" <<<"$(field shaderFails.messages)"
for link in percent badEscape tooBig wrapping noSuch huge; do
  check "no page error for the $link link" [ "$(field "$link.errors.length")" = 0 ]
done
check "?map=100%25.map opens 100%.map" [ "$(field percent.state)" = running ]
check "a malformed escape in the hash is said" grep -q "The address: #camera=%: malformed percent escape" <<<"$(field badEscape.messages)"
check "a later open works after a malformed hash" [ "$(field badEscape.state)" = running ]
check "a camera past a float's range is left out" [ "$(field tooBig.camera)" = "0,0,0,0,0" ]
check "and the map shows" isPixel "$tmp/out/link-tooBig.png" 320 240 "153 153 153"
check "&select=4294967296 does not wrap to 0" [ "$(field wrapping.selected)" = null ]
check "it is said" grep -q "select=4294967296: expected a lattice index" <<<"$(field wrapping.messages)"
check "a selection the map does not draw is said" grep -q "select=9: the map draws no lattice 9" <<<"$(field noSuch.messages)"
check "a map larger than the page may hold is refused" grep -q "more than the 512.0 MB a map may take here" <<<"$(field huge.messages)"
check "as an error" [ "$(field huge.state)" = error ]
check "Reload sends no cookie" [ "$(field credentials.cookie)" = false ]
check "and no referrer" [ "$(field credentials.referer)" = false ]
check "Reload made its request" [ "$(field credentials.requests)" -ge 1 ]
check "thirty maps: one map file in the page" [ "$(field thirty.after30.files)" = 1 ]
check "thirty maps: one WebGL context" [ "$(field thirty.after30.contexts)" = 1 ] && check "made once" [ "$(field thirty.after30.made)" = 1 ]
check "thirty maps: the heap stays" [ "$(field thirty.after30.heap)" = "$(field thirty.after5.heap)" ]
check "thirty maps: still running" [ "$(field thirty.state)" = running ]
# The page at a browser's full size, and on a phone.
size=$(field full.size)
"$bin/kelvane" render "$tmp/site/pair.map" --size "$size" -o "$tmp/ref-full.png"
check "the picture fills the canvas at full size ($size)" [ "$size" = 920x800 ] &&
  check "and equals render --size $size" [ "$(differing "$tmp/out/full.png" "$tmp/ref-full.png")" -le $((920 * 800 / 200)) ]
check "a click at full size selects" [ "$(field full.selected)" = 0 ]
noneSerious() { # FIELD: an empty list of axe-core findings, or say them
  local v
  v=$(field "$1.join('; ')")
  [[ -z $v ]] || { echo "  $v"; false; }
}
check "axe-core finds nothing serious at full size" noneSerious full.axe
check "a phone lays the page out at its width" [ "$(field phone.width)" = 390 ]
check "its canvas takes the screen" [ "$(field phone.canvas)" = 390x844 ]
check "with the side bar a closed drawer" [ "$(field phone.drawer)" -ge 390 ]
check "text is at least 12 CSS pixels ($(field phone.smallest))" [ "$(field 'phone.smallest >= 12')" = true ]
check "axe-core finds nothing serious on a phone" noneSerious phone.axe
check "the side bar's six buttons show on a phone" [ "$(field phone.bar.buttons)" = 6 ]
check "none covers another" [ "$(field phone.bar.overlap)" = false ]
check "none reaches past the drawer" [ "$(field phone.bar.outside)" = false ]
check "with previous and next too, eight show apart inside it" [ "$(field phone.barWithSteps.buttons)" = 8 -a "$(field phone.barWithSteps.overlap)" = false -a "$(field phone.barWithSteps.outside)" = false ]
check "with the focus on a button Tab moves on" [ "$(field focus.afterTab.focus)" = record ]
check "and selects no lattice" [ "$(field focus.afterTab.selected)" = null ]
check "Enter presses the button and adds no keyframe" [ "$(field focus.afterEnter)" = 0 ]
check "a click gives the canvas the keys" [ "$(field focus.canvas)" = true ] && check "Tab then selects" [ "$(field focus.selected)" = 0 ]
check "Ctrl+C stays the browser's" grep -q "c:false" <<<"$(field focus.seen)"
check "a slow download does not replace the map opened meanwhile" [ "$(field slow.loads)" = 1 ] && check "the dropped map stays" [ "$(field slow.rows)" = 2 ]
check "and nothing is said of the abandoned download" bash -c '! grep -q "Error opening" <<<"$1"' _ "$(field slow.messages)"
check "a file named .. opens" [ "$(field dotdot.state)" = running ]
check "a map that cannot be fetched leaves the running one running" [ "$(field notMapWhileRunning.state)" = running ]
check "a 47 M-triangle map runs on the page" [ "$(field sixty.state)" = running ]
check "drawn within the page's 3 M triangles a frame" grep -q "past the 3000000 triangles a frame may take" <<<"$(field sixty.messages)"
echo "web viewer: Tab on the 47 M-triangle map answered in $(field sixty.escapeMs) ms"
check "idle, the page draws nothing" [ "$(field 'idle.after - r.idle.before')" -le 1 ]
echo "web viewer: the 2,000-lattice outline built in $(field 'bigOutline.ms.toFixed(1)') ms; a frame took $(field 'bigOutline.scrolled.toFixed(1)') ms while it scrolled, $(field 'bigOutline.still.toFixed(1)') ms while it did not"
echo "web viewer: demo map at $(field demoFps) frames/s in headless Chromium (SwiftShader)"
tally
