# Blender add-on: File > Import > Kelvane map (.map). Imports a map through the kelvane Python
# module: a mesh object per drawn lattice, parented as the lattices are, the flat greys as a
# colour attribute and the lattice's placement as the object's transform, so that the scene
# holds the triangles `kelvane export` writes.

bl_info = {
    "name": "Kelvane map (.map)",
    "author": "Kelvane Map Viewer",
    "version": (1, 0, 0),
    "blender": (3, 4, 0),
    "location": "File > Import > Kelvane map (.map)",
    "description": "Imports the landscape lattices of a Kelvane map file as meshes",
    "category": "Import-Export",
}

import bpy
import numpy as np
from bpy.props import StringProperty
from bpy_extras.io_utils import ImportHelper
from mathutils import Matrix


def drawn_ancestor(lattices, index):
    """The nearest ancestor of lattice `index` that is drawn (id not 0), or None."""
    seen = set()
    p = lattices[index].parent
    while p is not None and p not in seen and lattices[p].id == 0:
        seen.add(p)
        p = lattices[p].parent
    return None if p is None or p in seen else p


def import_map(context, path):
    """Adds the map's drawn lattices to the active collection; returns the objects by index."""
    import kelvane  # the module ships with the viewer (python3-kelvane)

    m = kelvane.open(path)
    corners, greys, owner = m.triangles(local=True)
    lattices = m.lattices
    objects = {}
    for L in lattices:
        if L.id == 0:
            continue
        mine = owner == L.index
        verts = corners[mine].reshape(-1, 3)
        count = len(verts) // 3
        mesh = bpy.data.meshes.new(f"lattice {L.index} id {L.id}")
        mesh.vertices.add(len(verts))
        mesh.vertices.foreach_set("co", verts.ravel())
        mesh.loops.add(len(verts))
        mesh.loops.foreach_set("vertex_index", np.arange(len(verts), dtype=np.int32))
        mesh.polygons.add(count)
        mesh.polygons.foreach_set("loop_start", np.arange(0, len(verts), 3, dtype=np.int32))
        mesh.polygons.foreach_set("loop_total", np.full(count, 3, dtype=np.int32))
        grey = np.repeat(greys[mine], 3)
        rgba = np.stack([grey, grey, grey, np.ones_like(grey)], axis=1)
        colours = mesh.color_attributes.new("grey", "FLOAT_COLOR", "CORNER")
        colours.data.foreach_set("color", rgba.ravel())
        mesh.update()
        obj = bpy.data.objects.new(mesh.name, mesh)
        context.collection.objects.link(obj)
        objects[L.index] = obj
    for index, obj in objects.items():
        world = lattices[index].matrix
        parent = drawn_ancestor(lattices, index)
        if parent is None:
            obj.matrix_basis = Matrix(world.tolist())
            continue
        obj.parent = objects[parent]
        obj.matrix_parent_inverse = Matrix.Identity(4)
        obj.matrix_basis = Matrix((np.linalg.inv(lattices[parent].matrix) @ world).tolist())
    return objects


class ImportKelvaneMap(bpy.types.Operator, ImportHelper):
    """Import the landscape lattices of a Kelvane map file"""

    bl_idname = "import_scene.kelvane_map"
    bl_label = "Import Kelvane map"
    bl_options = {"REGISTER", "UNDO"}
    filename_ext = ".map"
    filter_glob: StringProperty(default="*.map", options={"HIDDEN"})

    def execute(self, context):
        try:
            objects = import_map(context, self.filepath)
        except ImportError:
            self.report({"ERROR"}, "the kelvane Python module is not installed (python3-kelvane)")
            return {"CANCELLED"}
        except (OSError, ValueError) as e:  # NotAMapError is a ValueError
            self.report({"ERROR"}, str(e))
            return {"CANCELLED"}
        self.report({"INFO"}, f"imported {len(objects)} lattices from {self.filepath}")
        return {"FINISHED"}


def menu_import(self, context):
    self.layout.operator(ImportKelvaneMap.bl_idname, text="Kelvane map (.map)")


def register():
    bpy.utils.register_class(ImportKelvaneMap)
    bpy.types.TOPBAR_MT_file_import.append(menu_import)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_import)
    bpy.utils.unregister_class(ImportKelvaneMap)


if __name__ == "__main__":
    register()
