# Type stubs of the veldra module (a compiled extension), for editors and type checkers.
"""Paint a selection on an image with a brush whose boundary snaps to the image's edges."""

from types import TracebackType
from typing import List, Literal, Optional, Sequence, Tuple, Type, Union

import numpy as np
import numpy.typing as npt

_Points = Union[npt.NDArray[np.integer], npt.NDArray[np.floating], Sequence[Sequence[float]]]
_Field = Tuple[npt.NDArray[np.float32], npt.NDArray[np.float32]]

class Session:
    """A selection being painted on one image; one Session is open at a time."""

    def __init__(self, image: npt.NDArray[np.uint8], *, trace: bool = False) -> None:
        """Opens a session on an H x W x 3 or H x W x 4 uint8 image (copied)."""
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def closed(self) -> bool: ...
    def close(self) -> None:
        """Releases the library's image and lets another Session open."""
    def __enter__(self) -> "Session": ...
    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        tb: Optional[TracebackType],
    ) -> None: ...
    def seed(self, mask: Union[npt.NDArray[np.bool_], npt.NDArray[np.uint8]]) -> None:
        """Replaces the selection by an H x W mask (True, or uint8 above 128, selected)."""
    def clear(self) -> None:
        """Empties the selection."""
    def stroke(
        self,
        points: _Points,
        mode: Literal["add", "subtract", "auto", "smooth"] = "add",
        *,
        radius: int = 10,
        core: int = 30,
        edge_snap: int = 75,
        smoothing: int = 100,
        band: int = 10,
    ) -> None:
        """One press of the mouse: a brush event at every (x, y) point."""
    def line(
        self,
        points: _Points,
        mode: Literal["add", "subtract", "auto"] = "add",
        *,
        radius: int = 10,
        core: int = 30,
    ) -> None:
        """Thick straight lines through the points with the brush's hard core."""
    def band(
        self,
        points: _Points,
        *,
        width: int = 10,
        matting_radius: Optional[float] = None,
        radius: int = 10,
        core: int = 30,
        edge_snap: int = 75,
        smoothing: int = 100,
    ) -> None:
        """Paints the boundary band for matting."""
    def mask(self, band: int = 0) -> npt.NDArray[np.uint8]:
        """The selection as H x W uint8: 255 inside, 128 band, 0 outside."""
    def matting_mode(self, x: int, y: int) -> Literal["inside", "outside", "band"]:
        """Where pixel (x, y) lies."""
    def edge_snap_field(self) -> _Field:
        """The image's edge vector field as two H x W float32 arrays (x, y)."""
    def alpha(self, feather: float = 0.0) -> npt.NDArray[np.uint8]:
        """Soft edges as H x W uint8: each pixel's share inside the selection; feather 0..1000 pixels."""
    def paths(self, tolerance: float = 0.0) -> List[npt.NDArray[np.float32]]:
        """The boundary as closed (N, 2) float32 rings: outer counter-clockwise, holes clockwise."""
    def svg_path(self, tolerance: float = 0.0) -> str:
        """The rings of paths(tolerance) as SVG path data."""
    def snapshot(self) -> "Snapshot":
        """A copy of the selection state, for restore()."""
    def restore(self, snapshot: "Snapshot") -> None:
        """Puts the selection back as it was when snapshot was taken in this session."""

class Snapshot:
    """A copy of a Session's selection; the library's memory is freed on release() or collection."""

    @property
    def nbytes(self) -> int: ...
    @property
    def released(self) -> bool: ...
    def release(self) -> None:
        """Frees the library's copy now; the snapshot can no longer be restored."""

def edge_snap(block: npt.NDArray[np.uint8]) -> _Field:
    """The edge vector field of an (h + 24) x (w + 24) x 3 or 4 block: two h x w float32 arrays."""
