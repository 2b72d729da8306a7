"""Long morphs rendered on a Dask cluster.

``render`` splits the frames into ranges and renders each range on a worker.
The pictures and points travel with the tasks (scattered once), so workers
need no shared files for their input. The output is the same, byte for
byte, as one machine writing it:

* numbered stills: each worker writes its own frames' files, under their
  final names, straight into ``out`` (a folder every worker must share);
* GIF: each frame is stored on its own (its own palette, codes restarted),
  so each worker returns its range as encoded frame blocks and the client
  joins them between one header and one trailer; no frame is decoded;
* AVI: the file's index and headers, and the key frames of inter-frame
  compressors, depend on the whole sequence, so workers return raw frames
  in order and the client writes them with the library's writer.

A worker that dies in a range is replaced by Dask and its range rendered
again; a range's result is used once, so no frame is lost or repeated.
"""

from __future__ import annotations

import math
import os
import shutil
import tempfile
import uuid
from pathlib import Path
from typing import Any

import numpy as np

import quorvane
from quorvane._quorvane import frame_file_name

__all__ = ["render", "RangeError"]


class RangeError(Exception):
    """A range of frames failed on a worker; ``first`` and ``end`` (not
    included) name the range, ``__cause__`` holds the worker's error."""

    def __init__(self, first: int, end: int, message: str):
        super().__init__(f"frames {first} to {end - 1}: {message}")
        self.first = first
        self.end = end


def _payload_part(source: Any, what: str) -> tuple:
    if isinstance(source, (str, os.PathLike)):
        name = os.fspath(source)
        if not os.path.exists(name) and "#" in name:  # clip.avi#12: one frame of a video
            path, _, number = name.rpartition("#")
            return ("array", quorvane.read_video_frame(path, int(number)))
        return ("file", os.path.basename(name), Path(name).read_bytes())
    if what == "points":
        return ("array", np.asarray(source, dtype=np.float64))
    return ("array", np.ascontiguousarray(source))


# Per worker process: the morph last built, by the key of its inputs.
_worker_morph: dict[str, tuple[quorvane.Morph, str]] = {}


def _morph_on_worker(key: str, payload: dict, options: dict) -> quorvane.Morph:
    if key in _worker_morph:
        return _worker_morph[key][0]
    for _, folder in _worker_morph.values():
        shutil.rmtree(folder, ignore_errors=True)
    _worker_morph.clear()
    folder = tempfile.mkdtemp(prefix="quorvane-dask-")
    inputs = {}
    for what, part in payload.items():
        if part[0] == "array":
            inputs[what] = part[1]
        else:
            path = os.path.join(folder, what + "-" + part[1])
            Path(path).write_bytes(part[2])
            inputs[what] = path
    morph = quorvane.Morph(inputs["src"], inputs["dst"], inputs["points"], **options)
    _worker_morph[key] = (morph, folder)
    return morph


def _render_range(key, payload, options, frames, first, end, kind, out, output_options):
    """Runs on a worker: renders frames first..end-1 of `frames`."""
    morph = _morph_on_worker(key, payload, options)
    if kind == "still":
        quorvane.write(out, morph.frames(frames, first, end), first=first, **output_options)
        return None
    if kind == "gif":
        with tempfile.TemporaryDirectory(prefix="quorvane-dask-") as folder:
            part = os.path.join(folder, "part.gif")
            quorvane.write(part, morph.frames(frames, first, end), **output_options)
            return Path(part).read_bytes()
    return np.stack(list(morph.frames(frames, first, end)))


def _gif_frames_start(data: bytes) -> int:
    """Where the first frame starts: after the header, the logical screen
    descriptor with any global colour table, and application extensions
    (the loop count)."""
    position = 13
    if data[10] & 0x80:
        position += 3 << ((data[10] & 7) + 1)
    while data[position] == 0x21 and data[position + 1] == 0xFF:
        position += 2
        while data[position] != 0:
            position += data[position] + 1
        position += 1
    return position


def _output_kind(out: str) -> str:
    extension = os.path.splitext(out)[1].lower()
    return {".gif": "gif", ".avi": "avi"}.get(extension, "still")


def render(
    src: Any,
    dst: Any,
    points: Any,
    out: str | os.PathLike[str],
    *,
    frames: int,
    client: Any = None,
    chunk: int | None = None,
    fps: float = 15.0,
    codec: str | None = None,
    quality: int | None = None,
    loop: int = 0,
    **morph_options: Any,
) -> str:
    """Renders a morph of ``frames`` frames into ``out`` (.gif, .avi, or
    numbered stills such as frames/f_%05d.png) on the Dask cluster of
    ``client`` (default: the current client). ``chunk`` frames make one task
    (default: about two tasks a worker thread, at most 256 frames).
    ``morph_options`` are Morph's (size, bilinear, block, background,
    key_color, key_fade, weights). Returns what was written, as
    ``quorvane.write`` does. Problems found before rendering raise as Morph
    and Writer raise them; a failed range raises RangeError.
    """
    from distributed import default_client

    client = client or default_client()
    out = os.fspath(out)
    kind = _output_kind(out)
    # Everything the client can check is checked here, before any task runs:
    # the inputs, the mesh, the output options and the output's folder.
    morph = quorvane.Morph(src, dst, points, **morph_options)
    output_options: dict[str, Any] = {"fps": fps, "codec": codec, "quality": quality, "loop": loop}
    writer = quorvane.Writer(out, size=morph.size, frames=frames, **output_options)
    del morph
    if kind != "avi":
        writer.abandon()
    if kind == "still":
        output_options = {"quality": quality}
    elif kind == "gif":
        output_options = {"fps": fps, "loop": loop}

    if chunk is None:
        threads = max(1, sum(client.nthreads().values()))
        chunk = min(256, max(1, math.ceil(frames / (2 * threads))))
    if chunk < 1:
        raise ValueError("chunk must be at least 1")
    ranges = [(first, min(frames, first + chunk)) for first in range(0, frames, chunk)]

    payload = {
        "src": _payload_part(src, "src"),
        "dst": _payload_part(dst, "dst"),
        "points": _payload_part(points, "points"),
    }
    key = uuid.uuid4().hex
    # One future for the whole payload, under a key of its own (a dict would
    # be scattered under its own keys, "src" and so on, shared between jobs).
    [shared] = client.scatter([payload], broadcast=True, hash=False)
    futures = [
        client.submit(_render_range, key, shared, morph_options, frames, first, end, kind, out, output_options,
                      key=f"quorvane-{key}-{first}", pure=False)
        for first, end in ranges
    ]
    temporary = None
    try:
        if kind == "gif":
            temporary = f"{out}.{key}.part"
            with open(temporary, "wb") as joined:
                for index, ((first, end), future) in enumerate(zip(ranges, futures)):
                    data = _result(future, first, end)
                    start = 0 if index == 0 else _gif_frames_start(data)
                    joined.write(data[start:-1])  # the trailer byte closes the joined file only
                    futures[index] = None
                joined.write(b";")
            os.replace(temporary, out)
            temporary = None
            return out
        for index, ((first, end), future) in enumerate(zip(ranges, futures)):
            result = _result(future, first, end)
            if kind == "avi":
                for frame in result:
                    writer.write(frame)
            futures[index] = None
        if kind == "avi":
            return writer.close()
        return _still_span(out, frames)
    finally:
        for future in futures:
            if future is not None:
                future.cancel()
        if kind == "avi" and not writer.closed:
            writer.abandon()
        if temporary is not None and os.path.exists(temporary):
            os.remove(temporary)


def _result(future, first: int, end: int):
    try:
        return future.result()
    except Exception as error:
        raise RangeError(first, end, str(error)) from error


def _still_span(pattern: str, frames: int) -> str:
    first = frame_file_name(pattern, 0)
    return first if frames == 1 else f"{first} ... {frame_file_name(pattern, frames - 1)}"
