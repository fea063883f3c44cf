"""The Python module against the `kelvane` command: reading, every editable value, saves that
change only the edited floats, refusals, diff/patch/merge as the commands' JSON, render's
pixels, export's bytes, and hostile input that raises or loads but never crashes."""

import json
import os
import random
import subprocess

import numpy as np
import pytest

import kelvane

BIN = os.environ["KELVANE_BIN"]
HOSTILE = os.path.join(os.path.dirname(__file__), "..", "data", "hostile")


def run(*args, check=True):
    return subprocess.run([os.path.join(BIN, "kelvane"), *map(str, args)], check=check,
                          capture_output=True)


@pytest.fixture(scope="module")
def maps(tmp_path_factory):
    """The demo map, and the same through make-map (base) with edits made by the command:
    lattice 1 moved up by 1 (ours) or by 2 (other), lattice 3 moved up by 2 (theirs)."""
    d = tmp_path_factory.mktemp("maps")
    run("demo", "-o", d / "demo.map")
    text = run("info", "--json", d / "demo.map").stdout.decode()
    for name, was, now in [("base", "[-9, 5.5, -5]", "[-9, 5.5, -5]"),
                           ("ours", "[-9, 5.5, -5]", "[-9, 6.5, -5]"),
                           ("other", "[-9, 5.5, -5]", "[-9, 7.5, -5]"),
                           ("theirs", "[10, 2.5, 7]", "[10, 4.5, 7]")]:
        (d / f"{name}.json").write_text(text.replace(f'"position": {was}', f'"position": {now}'))
        run("make-map", d / f"{name}.json", "-o", d / f"{name}.map")
    return d


def pixels(png):
    """A PNG's RGB pixels, rows from the top, read by ImageMagick."""
    out = subprocess.run(["/usr/bin/convert", str(png), "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    w, h = subprocess.run(["/usr/bin/identify", "-format", "%w %h", str(png)], check=True,
                          capture_output=True).stdout.split()
    return np.frombuffer(out, np.uint8).reshape(int(h), int(w), 3)


def test_open_from_a_path_and_from_bytes_reads_what_info_prints(maps):
    path = maps / "demo.map"
    m, b = kelvane.open(path), kelvane.open(path.read_bytes())
    want = json.loads(run("info", "--json", path).stdout)
    assert m.info() == want and b.info() == want
    assert [L.id for L in m.lattices] == [L.id for L in b.lattices]
    L = m.lattices[1]
    assert (L.index, L.id, L.cells, L.parent, L.children) == (1, 2, (7, 5, 7), 0, [2])
    assert L.position == (-9, 5.5, -5) and not m.edited and m.warnings == []
    nx, _, nz = L.cells
    grid = L.grid()
    assert grid.shape == (nz + 1, nx + 1)
    assert np.array_equal(grid.ravel()[:len(L.heights)], L.heights)


# Each editable value, set through the module, and the floats of the file it may change.
EDITS = [
    ("position", lambda L: setattr(L, "position", (1, 2, 3)), 3),
    ("rotation", lambda L: setattr(L, "rotation", (0.25, 0, 0)), 3),
    ("cell size", lambda L: setattr(L, "cell_size", (2, 2, 2)), 3),
    ("a height", lambda L: L.heights.__setitem__(5, 7.5), 1),
    ("all heights", lambda L: L.heights.__iadd__(np.float32(0.5)), 64),
    ("a min inset", lambda L: L.min_insets.__setitem__((1, 0), 0.125), 1),
    ("a max inset", lambda L: L.max_insets.__setitem__((0, 1), -0.25), 1),
]


@pytest.mark.parametrize("what,edit,floats", EDITS, ids=[e[0] for e in EDITS])
def test_an_edit_saves_only_its_floats(maps, tmp_path, what, edit, floats):
    src = maps / "demo.map"
    target = tmp_path / "edit.map"
    target.write_bytes(src.read_bytes())
    m = kelvane.open(target)
    edit(m.lattices[1])
    assert m.edited
    m.save()
    assert not m.edited
    a, b = src.read_bytes(), target.read_bytes()
    assert len(a) == len(b)
    windows, end = 0, -1  # the fewest 4-byte floats that hold every changed byte
    for i in (i for i in range(len(a)) if a[i] != b[i]):
        if i >= end:
            windows, end = windows + 1, i + 4
    assert 0 < windows <= floats
    again = kelvane.open(target)
    assert again.info()["lattices"][1] == m.info()["lattices"][1]
    assert again.info()["lattices"][1] != kelvane.open(src).info()["lattices"][1]
    # What the module draws of the edit is what the command draws of the saved file.
    run("render", target, "-o", tmp_path / "saved.png")
    assert np.array_equal(m.render(), pixels(tmp_path / "saved.png"))


def test_heights_are_a_view_of_the_map_bytes(maps):
    m = kelvane.open(maps / "demo.map")
    h = m.lattices[1].heights
    again = m.lattices[1].heights
    assert np.shares_memory(h, again) and h.dtype == np.dtype("<f4") and h.flags.writeable
    del m  # the view keeps the map
    h[0] = 3
    assert again[0] == 3


def test_refusals(maps, tmp_path):
    target = tmp_path / "r.map"
    target.write_bytes((maps / "demo.map").read_bytes())
    m = kelvane.open(target)
    L = m.lattices[1]
    with pytest.raises(ValueError, match="not a finite float"):
        L.position = (float("nan"), 0, 0)
    with pytest.raises(ValueError, match="three numbers"):
        L.rotation = (1, 2)
    assert not m.edited
    L.position = (0, 0, 0)
    target.write_bytes(target.read_bytes() + b"x")  # someone else wrote the file
    with pytest.raises(kelvane.ChangedOnDiskError, match="changed on disk"):
        m.save()
    assert target.read_bytes().endswith(b"x")
    m.save(force=True)
    assert kelvane.open(target).lattices[1].position == (0, 0, 0)
    with pytest.raises(ValueError, match="give it a path"):
        kelvane.open(target.read_bytes()).save()
    with pytest.raises(OSError, match="not saved: Is a directory"):
        m.save(tmp_path)
    with pytest.raises(FileNotFoundError) as e:
        kelvane.open(tmp_path / "none.map")
    assert e.value.errno == 2 and e.value.filename == str(tmp_path / "none.map")
    with pytest.raises(kelvane.NotAMapError, match="kelvane: <bytes>: not a map: "):
        kelvane.open(b"not a map at all")
    with pytest.raises(ValueError, match="--select 99: the map has 6 lattices"):
        m.render(select=99)
    with pytest.raises(ValueError, match="must end in .obj"):
        m.export(tmp_path / "x.stl")


def test_diff_patch_and_merge_are_the_commands_json(maps, tmp_path):
    base, ours, theirs, other = (maps / f"{n}.map" for n in ("base", "ours", "theirs", "other"))
    d = kelvane.diff(base, ours)
    assert d == json.loads(run("diff", "--json", base, ours, check=False).stdout)
    patched = kelvane.patch(kelvane.open(base), d)
    patched.save(tmp_path / "patched.map")
    assert (tmp_path / "patched.map").read_bytes() == ours.read_bytes()
    with pytest.raises(ValueError, match="patch: changes\\[0\\]: lattice 1"):
        kelvane.patch(ours, d)  # applied twice
    for side, status in [(theirs, 0), (other, 1)]:
        merged, conflicts = kelvane.merge(base, ours, side)
        cmd = run("merge", base, ours, side, "-o", tmp_path / "m.map", "--conflicts",
                  tmp_path / "c.json", check=False)
        assert cmd.returncode == status
        assert conflicts == json.loads((tmp_path / "c.json").read_text())
        merged.save(tmp_path / "mine.map")
        assert (tmp_path / "mine.map").read_bytes() == (tmp_path / "m.map").read_bytes()
    edited = kelvane.open(base)
    edited.lattices[1].position = (-9, 6.5, -5)
    assert kelvane.diff(base, edited) == d  # diff sees the edit before it is saved


# render's keywords and the command line that draws the same picture.
RENDERS = [
    ({}, []),
    ({"camera": (0, 5, 0, 20, -45), "size": (320, 240)},
     ["--camera", "0,5,0,20,-45", "--size", "320x240"]),
    ({"camera": "--camera 1,2,3,10,30"}, ["--camera", "1,2,3,10,30"]),
    ({"fit": True}, ["--fit"]),
    ({"fit": True, "ortho": 5}, ["--fit", "--ortho", "5"]),
    ({"section": 1.5}, ["--section", "1.5"]),
    ({"select": 1, "hide": [3]}, ["--select", "1", "--hide", "3"]),
    ({"compare": "OURS", "fit": True}, ["--compare", "OURS", "--fit"]),
]


@pytest.mark.parametrize("kwargs,args", RENDERS, ids=[" ".join(r[1]) or "plain" for r in RENDERS])
def test_render_is_the_commands_picture(maps, tmp_path, kwargs, args):
    m = kelvane.open(maps / "theirs.map")
    ours = str(maps / "ours.map")
    kwargs = {k: (ours if v == "OURS" else v) for k, v in kwargs.items()}
    args = [ours if a == "OURS" else a for a in args]
    run("render", maps / "theirs.map", "-o", tmp_path / "r.png", *args)
    assert np.array_equal(m.render(**kwargs), pixels(tmp_path / "r.png"))


def test_thumbnail_export_and_triangles_are_the_commands(maps, tmp_path):
    path = str(maps / "demo.map")
    m = kelvane.open(path)
    run("thumbnail", "-s", "128", path, tmp_path / "t.png")
    assert np.array_equal(m.thumbnail(128), pixels(tmp_path / "t.png"))
    for ext in ("obj", "glb"):
        run("export", path, "-o", tmp_path / f"cmd.{ext}")
        m.export(tmp_path / f"mod.{ext}")
        assert (tmp_path / f"mod.{ext}").read_bytes() == (tmp_path / f"cmd.{ext}").read_bytes()
    corners, greys, owner = m.triangles()
    obj = (tmp_path / "cmd.obj").read_text().splitlines()
    vs = np.array([[float(x) for x in l.split()[1:4]] for l in obj if l.startswith("v ")])
    assert corners.shape == (len(vs) // 3, 3, 3) and greys.shape == owner.shape == (len(vs) // 3,)
    assert np.allclose(corners.reshape(-1, 3), vs, atol=1e-5)
    local, _, _ = m.triangles(local=True)
    for i in set(owner.tolist()):
        M = m.lattices[i].matrix
        pts = local[owner == i].reshape(-1, 3)
        world = pts @ M[:3, :3].T + M[:3, 3]
        assert np.allclose(world, corners[owner == i].reshape(-1, 3), atol=1e-4)


def hostile_inputs(demo):
    """The hostile maps of the test data, and the demo map cut short and with bytes changed."""
    for name in sorted(os.listdir(HOSTILE)):
        with open(os.path.join(HOSTILE, name), "rb") as f:
            yield name, f.read()
    rng = random.Random(7)
    for k in range(120):
        yield f"cut {k}", demo[:rng.randrange(len(demo))]
    for k in range(120):
        b = bytearray(demo)
        for _ in range(rng.randrange(1, 12)):
            b[rng.randrange(len(b))] = rng.randrange(256)
        yield f"changed {k}", bytes(b)


def test_hostile_input_raises_or_loads(maps):
    for name, data in hostile_inputs((maps / "demo.map").read_bytes()):
        try:
            m = kelvane.open(data)
        except kelvane.NotAMapError:
            continue
        m.info()
        m.triangles()
        with np.errstate(all="ignore"):  # damaged heights may be anything
            for L in m.lattices:
                L.heights.sum(), L.min_insets.shape, L.grid()
        m.render(size=(64, 48), fit=True)
