"""Type hints for the extension module; quorvane/__init__.py re-exports it."""

import os
from collections.abc import Iterator
from typing import Sequence, Union

import numpy as np
import numpy.typing as npt

PathLike = Union[str, os.PathLike[str]]
# uint8, height x width x 3 (RGB) or x 4 (RGBA), rows top first; or a file
# (any picture FreeImage reads, or "clip.avi#12" for frame 12 of a video).
Picture = Union[npt.NDArray[np.uint8], PathLike]
# N x 4 (srcX srcY dstX dstY) or N x 5 (with a weight above 0, at most 1000)
# in picture pixels; or a points file in the command's text or JSON form.
Points = Union[npt.ArrayLike, PathLike]

class Morph:
    """Two pictures and their control points, triangulated, checked and
    scaled as the quorvane command does. Frames render without the GIL:
    threads rendering frames of morphs with equal settings run in parallel;
    a morph of other settings (sampling, block, background, key, weights or
    triangle count) waits until they are done, since the renderer's settings
    are shared by the whole library."""

    def __init__(
        self,
        src: Picture,
        dst: Picture,
        points: Points,
        *,
        size: tuple[int, int] | None = None,
        bilinear: bool = False,
        block: int = 1,
        background: tuple[int, int, int] = (0, 0, 0),
        key_color: bool = False,
        key_fade: bool = False,
        weights: str = "even",
    ) -> None: ...
    def frame(self, t: float) -> npt.NDArray[np.uint8]:
        """The frame at time t (0: src, 1: dst) as height x width x 3 RGB."""
    def frame_of(self, index: int, count: int) -> npt.NDArray[np.uint8]:
        """Frame index of a morph of count frames (t = index / (count - 1))."""
    def frames(self, n: int, start: int = 0, stop: int | None = None) -> FrameIterator:
        """Frames start..stop-1 of a morph of n frames, rendered one by one."""
    @property
    def size(self) -> tuple[int, int]:
        """(width, height) of the frames."""
    @property
    def triangle_count(self) -> int: ...
    @property
    def folded_triangles(self) -> int:
        """Triangles that turn over between the source and destination points."""

class FrameIterator(Iterator[npt.NDArray[np.uint8]]):
    def __iter__(self) -> FrameIterator: ...
    def __next__(self) -> npt.NDArray[np.uint8]: ...
    def __len__(self) -> int:
        """Frames still to come."""

class Writer:
    """Writes `frames` RGB frames of `size` to a .gif, .avi or numbered
    stills (frame_%04d.png, numbered from `first`) with the command's
    writers and checks. A GIF or AVI file appears only when close() has
    completed it; leaving a `with` block by an exception abandons it."""

    def __init__(
        self,
        path: PathLike,
        *,
        size: tuple[int, int],
        frames: int,
        fps: float = 15.0,
        codec: str | None = None,
        quality: int | None = None,
        loop: int = 0,
        first: int = 0,
        keyframes: int = 0,
    ) -> None: ...
    def write(self, frame: npt.NDArray[np.uint8]) -> None: ...
    def close(self) -> str:
        """Completes the output; returns what was written."""
    def abandon(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    @property
    def written(self) -> int: ...
    def __enter__(self) -> Writer: ...
    def __exit__(self, *exc: object) -> bool: ...

def frame_file_name(pattern: str, frame: int) -> str: ...
def video_info(path: PathLike) -> tuple[int, int, float, int]: ...
def read_video_frame(path: PathLike, n: int) -> npt.NDArray[np.uint8]: ...
def face_points(
    src: Picture,
    dst: Picture,
    *,
    size: tuple[int, int] | None = None,
    points: Points | None = None,
) -> npt.NDArray[np.float64]:
    """N x 4 (srcX srcY dstX dstY) whole-pixel points on the largest face
    in each picture, as quorvane points --faces places them."""
def face_points_available() -> bool:
    """False in builds without dlib or without its shape model."""
