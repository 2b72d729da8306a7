"""Shared inputs: two pictures with detail everywhere, control points, and
the quorvane command that the module's frames are checked against."""

import os
import subprocess
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

COMMAND = os.environ.get("QUORVANE_CLI", str(Path(__file__).resolve().parents[2] / "build" / "quorvane"))


def make_picture(width: int, height: int, seed: int) -> np.ndarray:
    """Gradients with noise, so that every sampling rule shows in the pixels."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    picture = np.empty((height, width, 3), np.uint8)
    picture[..., 0] = (x * 255 // max(1, width - 1)).astype(np.uint8)
    picture[..., 1] = (y * 255 // max(1, height - 1)).astype(np.uint8)
    picture[..., 2] = rng.integers(0, 256, (height, width), dtype=np.uint8)
    return picture


def points_for(width: int, height: int) -> np.ndarray:
    return np.array(
        [
            [width * 0.30, height * 0.35, width * 0.40, height * 0.30],
            [width * 0.70, height * 0.40, width * 0.62, height * 0.45],
            [width * 0.50, height * 0.70, width * 0.52, height * 0.62],
        ]
    )


def run_command(*args: str) -> subprocess.CompletedProcess:
    return subprocess.run([COMMAND, *args], capture_output=True, text=True, check=False)


@pytest.fixture(scope="session")
def command() -> str:
    if not os.access(COMMAND, os.X_OK):
        pytest.fail(f"the quorvane command is not built at {COMMAND} (set QUORVANE_CLI)")
    return COMMAND


@pytest.fixture(scope="session")
def scene(tmp_path_factory):
    """src and dst pictures (64x48) as arrays and files, points as array and file."""
    folder = tmp_path_factory.mktemp("scene")
    src, dst = make_picture(64, 48, 1), make_picture(64, 48, 2)[::-1].copy()
    Image.fromarray(src).save(folder / "src.png")
    Image.fromarray(dst).save(folder / "dst.png")
    points = points_for(64, 48)
    (folder / "points.txt").write_text("".join(" ".join(f"{v:g}" for v in row) + "\n" for row in points))
    return {
        "folder": folder,
        "src": src,
        "dst": dst,
        "points": points,
        "src_path": folder / "src.png",
        "dst_path": folder / "dst.png",
        "points_path": folder / "points.txt",
    }


def read_rgb(path) -> np.ndarray:
    with Image.open(path) as picture:
        return np.asarray(picture.convert("RGB"))
