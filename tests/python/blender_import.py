"""Run by Blender in background mode (blender -b --python THIS -- BIN ADDON_DIR WORKDIR): the
add-on imports the demo map and a nested, folded one, and the scene's world-space triangles
equal `kelvane export`'s OBJ within float rounding, parented as the lattices are."""

import json
import os
import subprocess
import sys

import bpy
import numpy as np

bin_dir, addon_dir, work = sys.argv[sys.argv.index("--") + 1:]
os.makedirs(work, exist_ok=True)
sys.path.insert(0, addon_dir)
import kelvane_import  # noqa: E402

kelvane_import.register()
kelvane = os.path.join(bin_dir, "kelvane")


def folded():
    """Three lattices in a chain, turned, one with a negative cell size, insets that cross from
    level to level and heights past the cells."""
    lattices = []
    for i in range(3):
        nx, ny, nz = 3 + i, 2, 2 + i
        lattices.append({
            "id": i + 1, "position": [1.5 * i, 0.5, -i], "rotation": [0.3, 0.7 * i, -0.2],
            "cellSize": [1.25, -0.75 if i == 1 else 1, 0.5 + i], "cells": [nx, ny, nz],
            "parent": i - 1 if i else None,
            "minInsets": [[(k * 1.7) % 3 - 1, (k * 0.9) % 2] for k in range(ny + 1)],
            "maxInsets": [[-((k * 1.3) % 3), 1 - (k * 1.1) % 2.5] for k in range(ny + 1)],
            "heights": [((h * 7) % 11) * 0.6 - 3 for h in range((nx + 1) * (nz + 1))],
        })
    for L in lattices:
        if L["parent"] is None:
            del L["parent"]
    return {"lattices": lattices}


def obj_groups(path):
    """The OBJ's vertices by lattice index ('o latticeN')."""
    groups, current = {}, None
    with open(path) as f:
        for line in f:
            if line.startswith("o lattice"):
                current = groups.setdefault(int(line[9:]), [])
            elif line.startswith("v "):
                current.append([float(x) for x in line.split()[1:4]])
    return {k: np.array(v) for k, v in groups.items()}


failed = 0
run = lambda *a: subprocess.run([kelvane, *a], check=True, capture_output=True)  # noqa: E731
run("demo", "-o", os.path.join(work, "demo.map"))
with open(os.path.join(work, "folded.json"), "w") as f:
    json.dump(folded(), f)
run("make-map", os.path.join(work, "folded.json"), "-o", os.path.join(work, "folded.map"))
for name in ("demo", "folded"):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    path = os.path.join(work, name + ".map")
    run("export", path, "-o", os.path.join(work, name + ".obj"))
    want = obj_groups(os.path.join(work, name + ".obj"))
    if bpy.ops.import_scene.kelvane_map(filepath=path) != {"FINISHED"}:
        print(f"FAIL {name}: the import did not finish")
        failed += 1
        continue
    bpy.context.view_layer.update()
    got = {}
    for obj in bpy.context.scene.objects:
        index = int(obj.name.split()[1])
        mesh = obj.data
        co = np.empty(len(mesh.vertices) * 3)
        mesh.vertices.foreach_get("co", co)
        loops = np.empty(len(mesh.loops), dtype=np.int64)
        mesh.loops.foreach_get("vertex_index", loops)
        local = co.reshape(-1, 3)[loops]
        M = np.array(obj.matrix_world)
        got[index] = local @ M[:3, :3].T + M[:3, 3]
        if "grey" not in mesh.color_attributes:
            print(f"FAIL {name}: {obj.name} has no grey colours")
            failed += 1
    if sorted(got) != sorted(want):
        print(f"FAIL {name}: lattices {sorted(got)}, the export has {sorted(want)}")
        failed += 1
        continue
    for i in want:
        if got[i].shape != want[i].shape or not np.allclose(got[i], want[i], atol=1e-4):
            print(f"FAIL {name}: lattice {i} differs from the export")
            failed += 1
    parents = {int(o.name.split()[1]): o.parent and int(o.parent.name.split()[1])
               for o in bpy.context.scene.objects}
    if name == "folded" and parents != {0: None, 1: 0, 2: 1}:
        print(f"FAIL folded: parents {parents}")
        failed += 1
    print(f"{name}: {len(got)} lattices, {sum(len(v) for v in got.values()) // 3} triangles")
sys.exit(1 if failed else 0)
