"""Kelvane map files from Python: read, edit and save byte for byte, diff, patch, merge,
render, export. The same libraries as the `kelvane` command."""

from os import PathLike
from typing import Any, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

class NotAMapError(ValueError):
    """The input is not a map; the message is the command's ("kelvane: FILE: not a map: ...")."""

class ChangedOnDiskError(OSError):
    """save() found its file changed on disk since it was opened; save(force=True) overwrites."""

class Lattice:
    """One lattice of a map, by its place in the list."""
    @property
    def index(self) -> int: ...
    @property
    def id(self) -> int: ...
    position: Tuple[float, float, float]
    """(x, y, z) in the parent's frame; setting it is an edit."""
    rotation: Tuple[float, float, float]
    """(rx, ry, rz) in radians; setting it is an edit."""
    cell_size: Tuple[float, float, float]
    """(sx, sy, sz); setting it is an edit."""
    @property
    def cells(self) -> Tuple[int, int, int]: ...
    @property
    def parent(self) -> Optional[int]: ...
    @property
    def children(self) -> list[int]: ...
    heights: npt.NDArray[np.float32]
    """The height list as the file stores it: a writable view of the map's own bytes."""
    min_insets: npt.NDArray[np.float32]
    """The lower inset list, n x 2 (dx, dz): a writable view of the map's bytes."""
    max_insets: npt.NDArray[np.float32]
    """The upper inset list, n x 2 (dx, dz): a writable view of the map's bytes."""
    @property
    def matrix(self) -> npt.NDArray[np.float64]:
        """The lattice's placement in the world, 4 x 4 (points as columns)."""
    def grid(self) -> npt.NDArray[np.float32]:
        """The (nz + 1) x (nx + 1) grid the renderer reads, rows along z, 0 where the list is short."""

class Map:
    """A map file's lattices, its bytes kept once."""
    @property
    def lattices(self) -> list[Lattice]: ...
    @property
    def warnings(self) -> list[str]: ...
    @property
    def path(self) -> str: ...
    @property
    def edited(self) -> bool: ...
    def info(self) -> dict[str, Any]:
        """What `kelvane info --json` prints."""
    def save(self, path: Union[str, PathLike, None] = None, force: bool = False) -> None:
        """Writes the opened bytes with the edited floats only (atomic, durable); over its own
        file it refuses one changed on disk unless force=True."""
    def render(self, camera: Union[None, str, Sequence[float]] = None,
               size: Tuple[int, int] = (640, 480), fit: bool = False,
               ortho: Optional[float] = None, section: Optional[float] = None,
               select: Optional[int] = None, hide: Sequence[int] = (),
               compare: Union[None, "Map", str, PathLike, bytes] = None) -> npt.NDArray[np.uint8]:
        """`kelvane render`'s picture, H x W x 3, rows from the top."""
    def thumbnail(self, size: int = 256) -> npt.NDArray[np.uint8]:
        """`kelvane thumbnail`'s picture, size x size x 3."""
    def export(self, path: Union[str, PathLike]) -> None:
        """Writes OBJ, .glb or .gltf by the name's ending, as `kelvane export`."""
    def triangles(self, local: bool = False) -> Tuple[npt.NDArray[np.float32],
                                                       npt.NDArray[np.float32],
                                                       npt.NDArray[np.int32]]:
        """(corners n x 3 x 3, greys n, lattice index n) as export writes them; in each
        lattice's own frame with local=True."""

MapLike = Union[Map, str, PathLike, bytes]

def open(source: Union[str, PathLike, bytes]) -> Map:
    """A map from a path or bytes; NotAMapError, or OSError with the errno."""
def diff(old: MapLike, new: MapLike) -> dict[str, Any]:
    """What `kelvane diff --json OLD NEW` prints."""
def patch(map: MapLike, changes: Union[dict[str, Any], str]) -> Map:
    """A new Map with diff's changes put in, as `kelvane patch`."""
def read_png(path: Union[str, PathLike]) -> npt.NDArray[np.uint8]:
    """A PNG file's pixels, H x W x 3."""
def write_png(path: Union[str, PathLike], pixels: npt.NDArray[np.uint8]) -> None:
    """Writes H x W x 3 pixels (as render returns them) as a PNG file, never half-written."""
def merge(base: MapLike, ours: MapLike, theirs: MapLike) -> Tuple[Map, dict[str, Any]]:
    """The three-way merge `kelvane merge` makes, and what its --conflicts file holds."""
