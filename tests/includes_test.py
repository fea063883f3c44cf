#!/usr/bin/env python3
"""Which file may include which.

The layers: mapfile/ stands alone, platform/ on mapfile/, render/ on both, app/ and tools/ on
all three. Inside app/, each file has a rank and includes only the app headers of lower ranks
(and its own unit's header), so the units (the record and its operations at the bottom, the
dispatcher and the loop at the top) never call each other in a loop.
Usage: includes_test.py SOURCE_DIR
"""
import os
import re
import sys

LAYERS = {  # what each folder may include, besides itself
    "mapfile": set(),
    "platform": {"mapfile"},
    "render": {"mapfile", "platform"},
    "app": {"mapfile", "platform", "render"},
    "tools": {"mapfile", "platform", "render"},
}

# app/: the rank of each unit's header and of its source, lowest first. A header of rank r
# may include app headers of rank below r; a source of rank r those below r and its own.
APP = {
    "controls": 0, "selection": 0, "watch": 0, "picture.h": 0,
    "camera": 1, "window.h": 1,
    "viewer": 2,
    "compare": 3, "measure": 3, "flight": 3, "window.cpp": 3,
    "section": 4, "edit": 4,
    "views": 5, "merge": 5,
    "scene": 6, "outline": 6,
    "overlay": 7, "page_view": 7, "picture.cpp": 7,
    "commands": 8,
    "winmain": 9,
    "main_web": 10, "main_posix": 10,
}


def app_rank(name):
    stem = os.path.splitext(name)[0]
    return APP.get(name, APP.get(stem))


def main(root):
    faults = []
    for folder in LAYERS:
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for f in sorted(files):
                if not f.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(dirpath, f)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8") as src:
                    text = src.read()
                for inc in re.findall(r'^#include "([^"]+)"', text, re.M):
                    target = inc if "/" in inc else os.path.join(folder, inc)
                    layer = target.split("/")[0]
                    if layer not in LAYERS:
                        continue  # generated files, the build's own
                    if layer != folder and layer not in LAYERS[folder]:
                        faults.append(f"{rel} includes {inc}: {folder}/ stands below {layer}/")
                        continue
                    if folder != "app" or layer != "app":
                        continue
                    mine, theirs = app_rank(f), app_rank(os.path.basename(target))
                    if mine is None or theirs is None:
                        faults.append(f"{rel} includes {inc}: give each app file a rank here")
                    elif os.path.splitext(os.path.basename(target))[0] == os.path.splitext(f)[0]:
                        continue  # a unit's source includes its header
                    elif theirs >= mine:
                        faults.append(f"{rel} (rank {mine}) includes {inc} (rank {theirs})")
    for fault in faults:
        print("FAIL", fault)
    print(f"{len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
