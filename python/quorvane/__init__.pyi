import os
from collections.abc import Iterable
from typing import NamedTuple

import numpy as np
import numpy.typing as npt

from ._quorvane import FrameIterator as FrameIterator
from ._quorvane import Morph as Morph
from ._quorvane import Writer as Writer
from ._quorvane import Picture, Points
from ._quorvane import face_points_available as face_points_available

class VideoInfo(NamedTuple):
    width: int
    height: int
    fps: float
    frames: int

def video_info(path: str | os.PathLike[str]) -> VideoInfo: ...
def read_video_frame(path: str | os.PathLike[str], n: int) -> npt.NDArray[np.uint8]: ...
def face_points(
    src: Picture,
    dst: Picture,
    *,
    size: tuple[int, int] | None = None,
    points: Points | None = None,
) -> npt.NDArray[np.float64]: ...
def write(
    path: str | os.PathLike[str],
    frames: Iterable[npt.NDArray[np.uint8]],
    *,
    fps: float = 15.0,
    codec: str | None = None,
    quality: int | None = None,
    loop: int = 0,
    first: int = 0,
) -> str: ...
