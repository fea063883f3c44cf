#!/usr/bin/env bash
# Maps kept in git, as two modders keep one level: after `kelvane git-setup`, branches that
# edit different lattices merge cleanly and byte for byte; the same value edited on both stops
# the merge with a conflict that `git mergetool` resolves in the viewer (a real window under
# its own Xvfb); `git diff` and `git log -p` speak in dump lines; `git difftool` opens the
# compare view. Git's configuration is this test's own (a HOME of its own).
set -u
bin=$1
wm_delete=$2
tmp=$(mktemp -d)
source "$(dirname "$0")/lib.sh"
job=""
trap '[[ -n $job ]] && kill -9 $job 2>/dev/null; pkill -9 -f "$tmp/repo" 2>/dev/null; stopX; [[ -n ${KEEP:-} ]] && echo "kept $tmp" || rm -rf "$tmp"' EXIT
startX || exit 1
unset SDL_VIDEODRIVER
title="Kelvane Map Viewer by Ruq"
export HOME=$tmp/home GIT_CONFIG_NOSYSTEM=1 XDG_CONFIG_HOME=$tmp/home/.config
mkdir -p "$HOME"
git config --global user.name "Test Modder"
git config --global user.email modder@example.com
git config --global init.defaultBranch main
k=$bin/kelvane

# The demo map and three edits of it: lattice 1 up by 1 (ours) or by 2 (other), lattice 3 up
# by 2 (theirs).
"$k" demo -o "$tmp/demo.map" && "$k" info --json "$tmp/demo.map" >"$tmp/demo.json" || exit 1
edit() { # NAME FROM TO: the base with one position changed
  sed "s/\"position\": \[$2\]/\"position\": [$3]/" "$tmp/demo.json" >"$tmp/$1.json"
  "$k" make-map "$tmp/$1.json" -o "$tmp/$1.map"
}
edit base "-9, 5.5, -5" "-9, 5.5, -5"
edit ours "-9, 5.5, -5" "-9, 6.5, -5"
edit other "-9, 5.5, -5" "-9, 7.5, -5"
edit theirs "10, 2.5, 7" "10, 4.5, 7"
y() { "$k" info "$1" | sed -n "$(($2 + 2))p" | sed 's/.*at (\([^,]*\), \([^,]*\),.*/\2/'; } # MAP INDEX

repo=$tmp/repo
git init -q "$repo" && cd "$repo" || exit 1

# git-setup adds each entry once, says it, and adds nothing the second time.
"$k" git-setup >"$tmp/setup1" 2>&1
check "git-setup exits 0" [ $? = 0 ]
check "git-setup says the attributes" grep -qxF "added to $repo/.gitattributes: *.map diff=kelvane merge=kelvane" "$tmp/setup1"
check "git-setup sets the merge driver" grep -qxF "set merge.kelvane.driver = '$k' merge %O %A %B -o %A" "$tmp/setup1"
check "git-setup sets 9 things" [ "$(wc -l <"$tmp/setup1")" = 9 ]
"$k" git-setup >"$tmp/setup2" 2>&1
check "git-setup again adds nothing" grep -qxF "git-setup: everything was set up already; nothing added" "$tmp/setup2"
check "the attributes are there once" [ "$(grep -c kelvane .gitattributes)" = 1 ]
check "the textconv is kelvane dump" [ "$(git config diff.kelvane.textconv)" = "'$k' dump" ]
git config mergetool.keepBackup false

cp "$tmp/base.map" level.map
git add .gitattributes level.map && git commit -qm base
git checkout -qb ours && cp "$tmp/ours.map" level.map && git commit -qam "ours: lattice 1 up"
git checkout -q main && git checkout -qb theirs && cp "$tmp/theirs.map" level.map && git commit -qam "theirs: lattice 3 up"
git checkout -q main && git checkout -qb other && cp "$tmp/other.map" level.map && git commit -qam "other: lattice 1 up more"

# Different lattices: git merge is clean, and the map is kelvane merge's, both edits in it.
git checkout -q ours
git merge -q --no-edit theirs >"$tmp/merge1" 2>&1
check "git merge of different lattices is clean" [ $? = 0 ]
"$k" merge "$tmp/base.map" "$tmp/ours.map" "$tmp/theirs.map" -o "$tmp/want.map" >/dev/null
check "the merged map is kelvane merge's, byte for byte" cmp -s level.map "$tmp/want.map"
check "the merge keeps ours' lattice 1" [ "$(y level.map 1)" = 6.5 ]
check "the merge takes theirs' lattice 3" [ "$(y level.map 3)" = 4.5 ]

# git diff and git log -p print dump lines naming the lattice.
git diff HEAD~1 HEAD -- level.map >"$tmp/diff"
check "git diff names lattice 3's position" grep -q '^+3 id 4: position (10, 4.5, 7)' "$tmp/diff"
check "git diff says no binary" bash -c "! grep -q '^Binary files' '$tmp/diff'"
git log -p -1 theirs -- level.map >"$tmp/log"
check "git log -p names lattice 3's old position" grep -q '^-3 id 4: position (10, 2.5, 7)' "$tmp/log"

# The same value on both sides: the merge stops, git status names the map, the file holds ours.
git merge --no-edit other >"$tmp/merge2" 2>&1
check "git merge of one value changed twice stops" [ $? != 0 ]
check "git status names the map unmerged" grep -qx "UU level.map" <(git status --porcelain)
check "the conflicted map holds ours" cmp -s level.map <(git show HEAD:level.map)

# git mergetool opens the viewer on the merge; N goes to the conflict, Alt+T takes theirs,
# Ctrl+S saves, and closing the window ends the tool with the map resolved.
git mergetool --no-prompt level.map </dev/null >"$tmp/tool" 2>&1 &
job=$!
wid=$(findWindow "$title")
check "git mergetool opens the viewer" [ -n "$wid" ]
said() { # TEXT: the tool's output comes to hold a line with TEXT, within 20 s
  for _ in $(seq 200); do
    grep -qF -- "$1" "$tmp/tool" && return 0
    sleep 0.1
  done
  echo "  tool output: $(tail -n 3 "$tmp/tool")"
  return 1
}
if [[ -n $wid ]]; then
  xdotool windowfocus --sync "$wid"
  check "the viewer says the conflict count" said "1 conflict(s): N goes to each"
  # Its picture, panels hidden, is render --merge's: lattice 1 magenta, 3 blue (ours merged it).
  git show HEAD:level.map >"$tmp/head.map"
  "$k" render level.map --merge "$tmp/base.map" "$tmp/head.map" "$tmp/other.map" -o "$tmp/merge.png"
  xdotool key o
  sleep 1
  shot "$wid" "$tmp/mergetool.png"
  check "the merge view is render --merge's picture" [ "$(differing "$tmp/mergetool.png" "$tmp/merge.png")" = 0 ]
  xdotool key n
  check "N goes to the conflict" said "conflict 1 of 1: lattice 1 (id 2) position: base (-9, 5.5, -5), ours (-9, 6.5, -5), theirs (-9, 7.5, -5)"
  xdotool key alt+t
  check "Alt+T takes theirs" said "conflict 1: took theirs"
  xdotool key ctrl+s
  check "Ctrl+S saves with none left" said "saved level.map: no conflicts remain"
  "$wm_delete" "$wid"
fi
waitExit "$job"
job=""
check "git mergetool ends well" [ "$rc" = 0 ]
check "git status has the map resolved" grep -qx "M  level.map" <(git status --porcelain)
check "the resolved map has theirs' lattice 1" [ "$(y level.map 1)" = 7.5 ]
check "the resolved map keeps theirs' lattice 3" [ "$(y level.map 3)" = 4.5 ]
git commit -q --no-edit
check "the merge commits" [ $? = 0 ]

# git difftool opens the compare view of the two commits; with the panels hidden (O) its window
# is kelvane render --compare's picture.
git show HEAD~1:level.map >"$tmp/old.map"
git show HEAD:level.map >"$tmp/new.map"
"$k" render "$tmp/new.map" --compare "$tmp/old.map" -o "$tmp/compare.png"
git difftool -y HEAD~1 HEAD -- level.map </dev/null >"$tmp/tool" 2>&1 &
job=$!
wid=$(findWindow "$title")
check "git difftool opens the viewer" [ -n "$wid" ]
if [[ -n $wid ]]; then
  xdotool windowfocus --sync "$wid"
  xdotool key o
  sleep 1
  shot "$wid" "$tmp/difftool.png"
  check "the difftool window is render --compare's picture" [ "$(differing "$tmp/difftool.png" "$tmp/compare.png")" = 0 ]
  "$wm_delete" "$wid"
fi
waitExit "$job"
job=""
check "git difftool ends" [ "$rc" = 0 ]

tally
