"""Picture morphs from Python: frames as NumPy arrays, written as animated
GIF, AVI or numbered stills by the same code as the ``quorvane`` command.

Pictures are ``uint8`` arrays of height x width x 3 (RGB) or x 4 (RGBA, laid
over the background colour), rows top first, or paths to picture files.
Arrays that are not C-contiguous (slices, flipped views) are copied first.
Problems the command would report (a point outside its picture, an
unreadable file, a bad option value) raise ``ValueError`` with the command's
message; wrong types and dtypes raise ``TypeError``.
"""

from __future__ import annotations

import os
from collections.abc import Iterable
from typing import NamedTuple

import numpy as np

from ._quorvane import FrameIterator, Morph, Writer
from ._quorvane import face_points as _face_points
from ._quorvane import face_points_available
from ._quorvane import read_video_frame as _read_video_frame
from ._quorvane import video_info as _video_info

__all__ = [
    "Morph",
    "Writer",
    "FrameIterator",
    "VideoInfo",
    "write",
    "read_video_frame",
    "video_info",
    "face_points",
    "face_points_available",
]


class VideoInfo(NamedTuple):
    width: int
    height: int
    fps: float
    frames: int


def video_info(path: str | os.PathLike[str]) -> VideoInfo:
    """Frame size, rate and length of the first video stream of an AVI file."""
    return VideoInfo(*_video_info(path))


def read_video_frame(path: str | os.PathLike[str], n: int) -> np.ndarray:
    """Frame n (from 0) of an AVI file as a height x width x 3 RGB array."""
    return _read_video_frame(path, n)


def face_points(
    src: np.ndarray | str | os.PathLike[str],
    dst: np.ndarray | str | os.PathLike[str],
    *,
    size: tuple[int, int] | None = None,
    points: object = None,
) -> np.ndarray:
    """Control points on the largest face in each picture, as
    ``quorvane points --faces`` places them: up to 68 pairs (jaw line, brows,
    nose, eyes, mouth) as an N x 4 float array of whole pixels (srcX srcY
    dstX dstY), ready for ``Morph(src, dst, points)``.

    src and dst are arrays or paths as for Morph (RGBA is laid over black).
    ``size`` is the size the morph will scale both pictures to, as Morph's
    ``size``: the points are kept on pixels of their own there. ``points``
    (an array or a points file) are points of your own that the face points
    keep clear of; they are not in the result, so add them with
    ``np.vstack``. A point that would fall outside a picture, on a corner or
    on a pixel another point holds is moved by a pixel or two, or left out.

    Raises ValueError when a picture has no face (naming which), or when
    this build has no face landmarks (see ``face_points_available()``).
    The GIL is released while the faces are found.
    """
    return _face_points(src, dst, size=size, points=points)


def write(
    path: str | os.PathLike[str],
    frames: Iterable[np.ndarray],
    *,
    fps: float = 15.0,
    codec: str | None = None,
    quality: int | None = None,
    loop: int = 0,
    first: int = 0,
) -> str:
    """Writes RGB frames (height x width x 3 uint8) to path by its extension:
    .gif, .avi, or numbered stills .png/.jpg/.tif named with a frame number
    field (frame_%04d.png, numbered from ``first``). Frames without a length
    (a generator) are gathered first. Returns what was written, as the
    command prints it. Nothing is left behind when a frame cannot be written.
    """
    if not hasattr(frames, "__len__"):
        frames = list(frames)
    count = len(frames)  # type: ignore[arg-type]
    if count == 0:
        raise ValueError("write needs at least one frame")
    iterator = iter(frames)
    head = next(iterator)
    if not isinstance(head, np.ndarray) or head.ndim != 3:
        raise TypeError("frames must be height x width x 3 uint8 arrays")
    size = (head.shape[1], head.shape[0])
    with Writer(path, size=size, frames=count, fps=fps, codec=codec, quality=quality, loop=loop,
                first=first) as writer:
        writer.write(head)
        for frame in iterator:
            writer.write(frame)
        return writer.close()
